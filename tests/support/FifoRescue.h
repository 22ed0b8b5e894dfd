#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace zelvar::test {

// Opening a FIFO to read waits for a writer, for ever if none comes. While
// this lives, whoever waits so is let go at once (the writer closes, the
// reader sees an empty file), so a program that opens the FIFO shows in
// `rescues()` instead of hanging its test.
class FifoRescue {
public:
    explicit FifoRescue(std::string path)
        : path_(std::move(path)), thread_([this] {
              while (!stop_) {
                  // Without a reader waiting, the open fails at once (ENXIO).
                  const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      ++rescues_;
                      ::close(fd);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~FifoRescue() {
        stop_ = true;
        thread_.join();
    }

    int rescues() const { return rescues_; }

private:
    const std::string path_;
    std::atomic<bool> stop_{false};
    std::atomic<int> rescues_{0};
    std::thread thread_;
};

}  // namespace zelvar::test
