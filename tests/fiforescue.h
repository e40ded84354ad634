// Shared by the window and lab tests of special files: a FIFO opened for writing once `seconds`
// have passed, so that a reader stuck on it (the fault the tests look for) gets its end of file
// and the test fails instead of hanging.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

class TFifoRescue {
public:
    TFifoRescue(std::string path, int seconds)
        : Thread([this, path = std::move(path), seconds] {
              for (int waited = 0; !Done; waited += 50) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
                  if (waited >= seconds * 1000)
                      if (const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0)
                          ::close(fd);
              }
          })
    {
    }
    ~TFifoRescue()
    {
        Done = true;
        Thread.join();
    }

private:
    std::atomic<bool> Done{false};
    std::thread Thread;
};
