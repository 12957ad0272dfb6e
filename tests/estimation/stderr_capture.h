// Collects what the code under test writes to the standard error stream, in process.
#pragma once

#include <string>

// While alive, file descriptor 2 points at a temporary file; Text() returns what was
// written so far. The destructor restores the original stream.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string Text() const;

  private:
    int saved_fd_ = -1;
    int file_fd_ = -1;
};
