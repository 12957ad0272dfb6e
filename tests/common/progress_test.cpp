// The progress display: what each mode writes, and counts that add up under threads.
#include "common/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace common {
namespace {

// A stream into memory; Text() is everything written so far.
class MemoryStream {
  public:
    MemoryStream() : file_(open_memstream(&buffer_, &size_)) {}
    ~MemoryStream() {
        std::fclose(file_);
        std::free(buffer_);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    std::FILE* File() const { return file_; }
    std::string Text() {
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Lines mode: a line whenever the interval has passed, and one at Finish; the count, the
// failures, the rate and (after a few items) the time left.
TEST(ProgressDisplay, LinesModeWritesALineEveryIntervalAndAtFinish) {
    struct Case {
        std::chrono::milliseconds interval;
        std::size_t lines;
    };
    for (const Case& c : {Case{std::chrono::milliseconds(0), 5}, Case{std::chrono::hours(1), 1}}) {
        MemoryStream out;
        {
            ProgressDisplay progress(out.File(), ProgressMode::lines, "run: ", "pairs", 4,
                                     c.interval);
            for (int i = 0; i < 4; ++i) progress.Advance(i == 1);
            progress.Finish();
            progress.Finish();  // a second Finish (and the destructor's) write nothing
        }
        const std::vector<std::string> lines = Lines(out.Text());
        ASSERT_EQ(lines.size(), c.lines) << out.Text();
        EXPECT_EQ(lines.back().rfind("run: 4/4 pairs, ", 0), 0u) << lines.back();
        EXPECT_NE(lines.back().find(" pairs/s, 0:00 left, 1 failed"), std::string::npos)
            << lines.back();
        if (c.lines == 5) {
            EXPECT_EQ(lines[0].find("left"), std::string::npos) << lines[0];
            EXPECT_NE(lines[0].find(", 0 failed"), std::string::npos) << lines[0];
            EXPECT_NE(lines[2].find("left"), std::string::npos) << lines[2];
        }
        EXPECT_EQ(out.Text().find('\r'), std::string::npos);
    }
}

// Terminal mode: the line is redrawn in place and cleared to its end, a message goes on a
// line of its own above it, Finish leaves an empty line.
TEST(ProgressDisplay, TerminalModeRedrawsInPlace) {
    MemoryStream out;
    ProgressDisplay progress(out.File(), ProgressMode::terminal, "siftkey: ", "photographs", 2);
    EXPECT_EQ(out.Text(), "\rsiftkey: 0/2 photographs, 0 failed\x1b[K");
    progress.Message("photo.jpg: not a photograph");
    EXPECT_EQ(out.Text(),
              "\rsiftkey: 0/2 photographs, 0 failed\x1b[K"
              "\r\x1b[Kphoto.jpg: not a photograph\n"
              "\rsiftkey: 0/2 photographs, 0 failed\x1b[K");
    progress.Advance(true);
    progress.Advance();  // the last item is drawn at once
    progress.Finish();
    const std::string text = out.Text();
    const std::size_t last = text.rfind("\rsiftkey: 2/2 photographs, ");
    ASSERT_NE(last, std::string::npos) << text;
    EXPECT_NE(text.find(", 1 failed\x1b[K\r\x1b[K", last), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\x1b[K");
}

// Quiet: no progress at all, but messages still reach the stream.
TEST(ProgressDisplay, QuietWritesOnlyMessages) {
    MemoryStream out;
    {
        ProgressDisplay progress(out.File(), ProgressMode::quiet, "run: ", "pairs", 3,
                                 std::chrono::milliseconds(0));
        progress.Advance();
        progress.Advance(true);
        EXPECT_EQ(out.Text(), "");
        progress.Message("a.key: damaged\n");
    }
    EXPECT_EQ(out.Text(), "a.key: damaged\n");
}

// Workers advancing from their own threads: every item and every failure is counted.
TEST(ProgressDisplay, ConcurrentAdvancesAddUp) {
    MemoryStream out;
    constexpr int kThreads = 4;
    constexpr int kEach = 250;
    {
        ProgressDisplay progress(out.File(), ProgressMode::lines, "run: ", "pairs",
                                 kThreads * kEach, std::chrono::hours(1));
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t) {
            workers.emplace_back([&progress] {
                for (int i = 0; i < kEach; ++i) progress.Advance(i % 10 == 0);
            });
        }
        for (std::thread& worker : workers) worker.join();
    }
    const std::vector<std::string> lines = Lines(out.Text());
    ASSERT_EQ(lines.size(), 1u) << out.Text();
    EXPECT_EQ(lines[0].rfind("run: 1000/1000 pairs, ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(", 100 failed"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace common
