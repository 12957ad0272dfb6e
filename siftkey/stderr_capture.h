// Capturing what libraries print on standard error while they run, so that a decoder's
// warning ("Premature end of JPEG file") is judged and worded by siftkey instead of
// reaching the user raw.
#pragma once

#include <mutex>
#include <string>

namespace siftkey {

// While it lives, descriptor 2 writes into a memory file; Text() ends the capture and
// returns what was written. When the capture cannot start (no memory file), standard
// error is left as it was and Text() returns "". Descriptor 2 belongs to the whole process,
// so captures made on several threads take turns: a capture waits until the one before has
// ended, and no thread's decoder messages end up in another's text.
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

    std::unique_lock<std::mutex> turn_;  // held from the start of the capture to its end
    int saved_ = -1;                     // the original descriptor 2
    int capture_ = -1;                   // the memory file
};

}  // namespace siftkey
