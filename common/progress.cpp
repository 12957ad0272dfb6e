// The progress display: one mutex guards the counts and the stream, so that workers may call
// Advance and Message from any thread and lines never interleave.
//
// The rate is taken over the whole run (items done / time since the display started): the
// items of a run (pairs, photographs) vary a lot in cost, and a whole-run average gives a
// steadier estimate of the time left than a short window would. The time left is shown
// once a few items are done, before that the rate says too little.
#include "common/progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace common {
namespace {

using Clock = std::chrono::steady_clock;

// Least time between two redraws of the terminal line.
constexpr std::chrono::milliseconds kTerminalInterval{200};
// Items done before the time left is shown.
constexpr std::size_t kItemsBeforeEstimate = 3;
// Erases from the cursor to the end of the line.
constexpr const char* kClearToEnd = "\x1b[K";

// "m:ss" below an hour, "h:mm:ss" from an hour on.
std::string FormatDuration(double seconds) {
    const long total = seconds > 0 ? std::lround(seconds) : 0;
    char text[48];
    if (total < 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    }
    return text;
}

// Two significant figures for slow runs, one decimal up to 100 items a second, whole
// numbers beyond.
std::string FormatRate(double per_second) {
    char text[48];
    const char* format = per_second >= 100 ? "%.0f" : per_second >= 1 ? "%.1f" : "%.2f";
    std::snprintf(text, sizeof text, format, per_second);
    return text;
}

}  // namespace

ProgressMode ProgressModeFor(std::FILE* stream, bool quiet) {
    if (quiet) return ProgressMode::quiet;
    const int fd = stream != nullptr ? fileno(stream) : -1;
    if (fd < 0 || isatty(fd) == 0) return ProgressMode::lines;
    // A terminal that cannot erase a line gets the plain lines.
    const char* term = std::getenv("TERM");
    if (term != nullptr && std::strcmp(term, "dumb") == 0) return ProgressMode::lines;
    return ProgressMode::terminal;
}

struct ProgressDisplay::State {
    std::mutex mutex;
    std::FILE* stream;
    ProgressMode mode;
    std::string prefix;
    std::string unit;
    std::size_t total;
    std::chrono::milliseconds line_interval;
    Clock::time_point start = Clock::now();
    Clock::time_point last_output = start;
    std::size_t done = 0;
    std::size_t failed = 0;
    bool finished = false;

    State(std::FILE* s, ProgressMode m, std::string p, std::string u, std::size_t t,
          std::chrono::milliseconds interval)
        : stream(s),
          mode(m),
          prefix(std::move(p)),
          unit(std::move(u)),
          total(t),
          line_interval(interval) {}

    // "<prefix><done>/<total> <unit>, <rate> <unit>/s, <time> left, <n> failed"
    std::string Text(Clock::time_point now) const {
        std::string text = prefix + std::to_string(done) + "/" + std::to_string(total) + " " + unit;
        const double seconds = std::chrono::duration<double>(now - start).count();
        if (done > 0 && seconds > 0) {
            const double rate = static_cast<double>(done) / seconds;
            text += ", " + FormatRate(rate) + " " + unit + "/s";
            if (done >= kItemsBeforeEstimate) {
                const double remaining = done < total ? static_cast<double>(total - done) : 0;
                text += ", " + FormatDuration(remaining / rate) + " left";
            }
        }
        text += ", " + std::to_string(failed) + " failed";
        return text;
    }

    void Write(const std::string& text) const {
        std::fputs(text.c_str(), stream);
        std::fflush(stream);
    }

    void Redraw(Clock::time_point now) {
        std::string line = "\r";
        line += Text(now);
        line += kClearToEnd;
        Write(line);
        last_output = now;
    }

    void WriteLine(Clock::time_point now) {
        std::string line = Text(now);
        line += '\n';
        Write(line);
        last_output = now;
    }
};

ProgressDisplay::ProgressDisplay(std::FILE* stream, ProgressMode mode, std::string prefix,
                                 std::string unit, std::size_t total,
                                 std::chrono::milliseconds line_interval)
    : state_(std::make_unique<State>(stream, stream != nullptr ? mode : ProgressMode::quiet,
                                     std::move(prefix), std::move(unit), total, line_interval)) {
    if (state_->mode == ProgressMode::terminal) state_->Redraw(state_->start);
}

ProgressDisplay::~ProgressDisplay() { Finish(); }

void ProgressDisplay::Advance(bool failed) {
    State& s = *state_;
    const std::lock_guard<std::mutex> lock(s.mutex);
    ++s.done;
    if (failed) ++s.failed;
    if (s.finished || s.mode == ProgressMode::quiet) return;
    const Clock::time_point now = Clock::now();
    if (s.mode == ProgressMode::terminal) {
        // The last item is always drawn, so that the line ends on the true count.
        if (now - s.last_output >= kTerminalInterval || s.done == s.total) s.Redraw(now);
    } else if (now - s.last_output >= s.line_interval) {
        s.WriteLine(now);
    }
}

// Messages are printed in every mode, quiet included: they carry failures and warnings,
// which quiet does not silence; only the progress itself is left out.
void ProgressDisplay::Message(const std::string& text) {
    State& s = *state_;
    const std::lock_guard<std::mutex> lock(s.mutex);
    if (s.stream == nullptr) return;
    const std::string line = text.empty() || text.back() != '\n' ? text + "\n" : text;
    if (s.mode == ProgressMode::terminal && !s.finished) {
        s.Write(std::string("\r") + kClearToEnd + line);
        s.Redraw(Clock::now());
    } else {
        s.Write(line);
    }
}

void ProgressDisplay::Finish() {
    State& s = *state_;
    const std::lock_guard<std::mutex> lock(s.mutex);
    if (s.finished) return;
    s.finished = true;
    if (s.mode == ProgressMode::terminal) {
        s.Write(std::string("\r") + kClearToEnd);
    } else if (s.mode == ProgressMode::lines) {
        s.WriteLine(Clock::now());
    }
}

}  // namespace common
