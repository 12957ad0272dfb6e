// The whole standard-error text of a successful run of `relative` on the example pair,
// line by line with the numbers masked, and the printed orientation against the pair's
// recorded truth.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "pause.h"
#include "relative.h"
#include "run_program.h"
#include "stderr_capture.h"

namespace {

const std::string kImg1 = RO_SOURCE_DIR "/data/example/img1.key";
const std::string kImg2 = RO_SOURCE_DIR "/data/example/img2.key";

// Line templates: <F> stands for a printed real, <I> for a printed count.
std::vector<std::string> ExpectedLines() {
    return {"-------------------------------------------------------------",
            "",
            "Running relative with the following parameters:",
            "\t" + kImg1,
            "\t" + kImg2,
            "",
            "Reading in keypoints from the files.........done!",
            "",
            "Image Properties:",
            "\tKeypoint 1: '" + kImg1 + "' has 300 local features (128 dims)",
            "\tKeypoint 2: '" + kImg2 + "' has 300 local features (128 dims)",
            "",
            "Matching Properties:",
            "\tchecking first AND second nearest neighbors",
            "\tusing SIFT with threshold of 0.6",
            "",
            "",
            "Called 'GetRelative'",
            "--------------------",
            "",
            "\tInitializing variables for LM optimization.........done!",
            "",
            "\tFinding tiepoints across images....................done!",
            "\t\tfound 240 tiepoints   (matching took <I> mins and <I> secs)",
            "",
            "\tMinimization Properties:",
            "\t\tperforming hough transform clustering on Y2",
            "\t\ttaking 1000 samples",
            "\t\teach sample contains 20 tiepoints",
            "",
            "Properties of Delta_Y - mean: <F>\tvariance: <F>\tSTD: <F>",
            "min_Dist: <F>\tmax_Dist: <F>\tbinSpacing: <F>",
            "<F> <F> <F> <F> <F> <F> <F> <F> <F> <F> ",
            "Max Bin Index: <I>\tMax Bin Value: <I>",
            "",
            "",
            "Results for camera relative orientation:",
            "(remember dx sets the scale and angles are in degs)",
            "\tX2-X1:         1.00000",
            "\tY2-Y1:         <F>",
            "\tZ2-Z1:         <F>",
            "\tTHETA2-THETA1: <F>",
            "\tPHI2-PHI1:     <F>",
            "\tKAPA2-KAPA1:   <F>",
            ""};
}

// Length of the number of the given kind at the start of `s`, 0 when there is none:
// <I> is a run of digits, <F> an optional minus, digits, a point and 4 or 5 digits.
std::size_t NumberLength(std::string_view s, bool real) {
    std::size_t at = 0;
    if (real && at < s.size() && s[at] == '-') ++at;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
        return at - from;
    };
    if (digits() == 0) return 0;
    if (!real) return at;
    if (at >= s.size() || s[at] != '.') return 0;
    ++at;
    const std::size_t decimals = digits();
    return decimals == 4 || decimals == 5 ? at : 0;
}

// True when `line` is `pattern` with each <F> and <I> replaced by a number of that kind.
bool MatchesTemplate(std::string_view line, std::string_view pattern) {
    while (!pattern.empty()) {
        if (pattern.starts_with("<F>") || pattern.starts_with("<I>")) {
            const std::size_t n = NumberLength(line, pattern[1] == 'F');
            if (n == 0) return false;
            line.remove_prefix(n);
            pattern.remove_prefix(3);
        } else {
            if (line.empty() || line.front() != pattern.front()) return false;
            line.remove_prefix(1);
            pattern.remove_prefix(1);
        }
    }
    return line.empty();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

void ExpectTextMatches(const std::string& text) {
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<std::string> lines = SplitLines(text);
    const std::vector<std::string> expected = ExpectedLines();
    ASSERT_EQ(lines.size(), expected.size()) << text;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        EXPECT_TRUE(MatchesTemplate(lines[k], expected[k]))
            << "line " << k + 1 << ": '" << lines[k] << "' expected '" << expected[k] << "'";
    }
}

// The printed value after `label` in the results block.
double Printed(const std::string& text, const std::string& label) {
    const std::size_t at = text.rfind(label);
    if (at == std::string::npos) return NAN;
    return std::stod(text.substr(at + label.size()));
}

// The recorded truth of the example pair (data/example/TRUTH.md).
void ExpectExampleTruth(const std::string& text) {
    EXPECT_NEAR(Printed(text, "X2-X1:"), 1.0, 0.0);
    EXPECT_NEAR(Printed(text, "Y2-Y1:"), -0.1, 0.01);
    EXPECT_NEAR(Printed(text, "Z2-Z1:"), 0.05, 0.01);
    EXPECT_NEAR(Printed(text, "THETA2-THETA1:"), -1.2, 0.1);
    EXPECT_NEAR(Printed(text, "PHI2-PHI1:"), 0.8, 0.1);
    EXPECT_NEAR(Printed(text, "KAPA2-KAPA1:"), 1.5, 0.1);
}

struct PauseRecord {
    unsigned seconds;
    std::size_t text_length;
};
std::vector<PauseRecord>* recorded_pauses = nullptr;
const StderrCapture* pause_capture = nullptr;

void RecordPause(unsigned seconds) {
    recorded_pauses->push_back({seconds, pause_capture->Text().size()});
}

TEST(ConsoleTextTest, InProcessRunOnTheExamplePair) {
    std::vector<PauseRecord> pauses;
    std::string text;
    int status = -1;
    {
        StderrCapture capture;
        recorded_pauses = &pauses;
        pause_capture = &capture;
        const PauseFunction previous = SetPauseFunction(RecordPause);
        std::string a0 = "relative", a1 = kImg1, a2 = kImg2;
        char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
        status = RelativeMain(3, argv);
        SetPauseFunction(previous);
        text = capture.Text();
    }
    EXPECT_EQ(status, 0);
    ExpectTextMatches(text);
    ExpectExampleTruth(text);

    // The pauses, each right after the text that precedes it.
    const std::pair<unsigned, std::string> expected[] = {
        {1, "files.........done!\n"},
        {2, "(128 dims)\n\tKeypoint 2: '" + kImg2 + "' has 300 local features (128 dims)\n"},
        {2, "using SIFT with threshold of 0.6\n"},
        {1, "Initializing variables for LM optimization.........done!\n"},
        {1, " secs)\n"}};
    ASSERT_EQ(pauses.size(), std::size(expected));
    for (std::size_t k = 0; k < pauses.size(); ++k) {
        EXPECT_EQ(pauses[k].seconds, expected[k].first) << "pause " << k;
        const std::string before = text.substr(0, pauses[k].text_length);
        EXPECT_TRUE(before.ends_with(expected[k].second))
            << "pause " << k << " after: " << before.substr(before.size() - 40);
    }
}

TEST(ConsoleTextTest, BuiltProgramOnTheExamplePair) {
    // One real run, with its seven seconds of pauses: the program's streams and status.
    const ProgramResult r = RunProgram(RO_RELATIVE_PROGRAM, {kImg1, kImg2}, 120.0);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.signal, 0);
    EXPECT_TRUE(r.out.empty());
    ExpectTextMatches(r.err);
    ExpectExampleTruth(r.err);
}

}  // namespace
