// The progress display of long runs (pairs of a block, photographs of siftkey): on a
// terminal one line that is redrawn in place, at most a few times a second; when standard
// error is not a terminal, a plain line now and then (log files, CI); nothing when quiet.
//
//   terminal: "orient-block: 120/450 pairs, 9.4 pairs/s, 0:35 left, 2 failed"
//   lines:    the same text as a line of its own every `line_interval`
//
// Thread-safe: the workers of a run call Advance from their own threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace common {

enum class ProgressMode { terminal, lines, quiet };

// The mode for `stream`: quiet when asked, terminal when the stream is a terminal, else lines.
ProgressMode ProgressModeFor(std::FILE* stream, bool quiet);

class ProgressDisplay {
  public:
    // `prefix` starts every line ("orient-block: "), `unit` names the items ("pairs").
    ProgressDisplay(std::FILE* stream, ProgressMode mode, std::string prefix, std::string unit,
                    std::size_t total,
                    std::chrono::milliseconds line_interval = std::chrono::seconds(10));
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // One more item done (failed: it did not succeed); redraws when due.
    void Advance(bool failed = false);

    // Prints a message on a line of its own without breaking the progress line.
    void Message(const std::string& text);

    // Ends the display: the terminal line is cleared, so that a summary can follow.
    void Finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace common
