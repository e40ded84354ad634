// The exit statuses of pyxet-cli, for every command.
#pragma once

constexpr int kExitOk = 0;         // success
constexpr int kExitFailed = 1;     // an operation failed
constexpr int kExitNoStart = 2;    // the command could not start (usage, socket, unreadable file)
constexpr int kExitNoAnswer = 3;   // no answer where one was awaited
