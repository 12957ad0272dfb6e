// The progress display: what each mode writes, and counts that add up under threads.
#include "common/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace common {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File Temporary() { return File(std::tmpfile(), &std::fclose); }

// Everything written to `file` so far; reading to its end lets writing go on after it.
std::string Text(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

// Lines mode writes a line whenever the interval has passed and one at Finish (once), the
// time left from the third item on; quiet writes only the messages. Four items, one failed.
TEST(ProgressDisplay, LinesAndQuietModes) {
    using std::chrono::milliseconds;
    const std::string last = "run: 4/4 pairs, ";
    struct Case {
        ProgressMode mode;
        milliseconds interval;
        std::vector<std::string> starts;  // the start of each line written
    } cases[] = {
        {ProgressMode::lines,
         milliseconds(0),
         {"note", "run: 1/4 pairs, ", "run: 2/4", "run: 3/4", last, last}},
        {ProgressMode::lines, std::chrono::hours(1), {"note", last}},
        {ProgressMode::quiet, milliseconds(0), {"note"}},
    };
    for (const Case& c : cases) {
        const File out = Temporary();
        {
            ProgressDisplay progress(out.get(), c.mode, "run: ", "pairs", 4, c.interval);
            progress.Message("note");
            for (int i = 0; i < 4; ++i) progress.Advance(i == 1);
            progress.Finish();
        }
        const std::string text = Text(out.get());
        std::vector<std::string> lines;
        for (std::size_t begin = 0; begin < text.size(); begin = text.find('\n', begin) + 1) {
            lines.push_back(text.substr(begin, text.find('\n', begin) - begin));
        }
        ASSERT_EQ(lines.size(), c.starts.size()) << text;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            EXPECT_TRUE(lines[k].starts_with(c.starts[k])) << lines[k];
            const bool estimated = lines[k].starts_with("run: 3/") || lines[k].starts_with(last);
            EXPECT_EQ(lines[k].find(" left, ") != std::string::npos, estimated) << lines[k];
        }
        EXPECT_TRUE(text.ends_with("\n")) << text;
        if (c.mode == ProgressMode::lines) {
            EXPECT_TRUE(lines.back().ends_with(" pairs/s, 0:00 left, 1 failed")) << text;
        }
    }
}

// Terminal mode: the line is redrawn in place and cleared to its end, a message goes on a
// line of its own above it, the last item is drawn at once, Finish leaves an empty line.
TEST(ProgressDisplay, TerminalModeRedrawsInPlace) {
    const File out = Temporary();
    ProgressDisplay progress(out.get(), ProgressMode::terminal, "sk: ", "photographs", 2);
    progress.Message("photo.jpg: not a photograph");
    EXPECT_EQ(Text(out.get()),
              "\rsk: 0/2 photographs, 0 failed\x1b[K"
              "\r\x1b[Kphoto.jpg: not a photograph\n"
              "\rsk: 0/2 photographs, 0 failed\x1b[K");
    progress.Advance(true);
    progress.Advance();
    progress.Finish();
    const std::string text = Text(out.get());
    const std::size_t last = text.rfind("\rsk: 2/2 photographs, ");
    ASSERT_NE(last, std::string::npos) << text;
    EXPECT_TRUE(text.substr(last).ends_with(", 1 failed\x1b[K\r\x1b[K")) << text;
}

}  // namespace
}  // namespace common
