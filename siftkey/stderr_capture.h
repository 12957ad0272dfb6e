// Capturing what libraries print on standard error while they run, so that a decoder's
// warning ("Premature end of JPEG file") is judged and worded by siftkey instead of
// reaching the user raw.
#pragma once

#include <string>

namespace siftkey {

// While it lives, descriptor 2 writes into a memory file; Text() ends the capture and
// returns what was written. When the capture cannot start (no memory file), standard
// error is left as it was and Text() returns "". Not for use from several threads at once.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores standard error and returns what was captured (at most 64 KiB).
    std::string Text();

  private:
    void Restore();

    int saved_ = -1;    // the original descriptor 2
    int capture_ = -1;  // the memory file
};

}  // namespace siftkey
