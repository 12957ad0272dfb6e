// Collects what the code under test writes to a standard stream, in process.
#pragma once

#include <cstdio>
#include <string>

namespace test_support {

// While alive, the file descriptor of `stream` (stdout or stderr) points at a temporary
// file; Text() returns what was written so far. The destructor restores the stream.
class StreamCapture {
  public:
    explicit StreamCapture(std::FILE* stream = stderr);
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string Text() const;

  private:
    std::FILE* stream_;
    int saved_fd_ = -1;
    int file_fd_ = -1;
};

}  // namespace test_support
