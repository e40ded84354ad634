// The local files of the transfers: which files may be sent or written. A received file takes
// the place of the old one through TAtomicFile, its temporary named from the start; temporary
// files a killed transfer left behind are removed before the next transfer into their folder,
// unless another Pyxet still holds their lock.
#pragma once
#include "core/app/atomicfile.h"

#include <string>

// ---- Files that are not files ---------------------------------------------------------------
// True when `path` names (through its links) something that exists and is neither a regular
// file nor a folder: a FIFO, a device, a socket. Opening one could block for ever or act on
// hardware, so the transfers refuse it before they open it.
bool IsSpecialFile(const std::string& path);
// What a command shows when asked to send (`reading`) or to write such a file: "Cannot read the
// file %s: Not a regular file" or "Cannot write ..."; "" when `path` is not a special file.
std::string SpecialFileRefusal(const std::string& path, bool reading);
