// One whole run of the built `relative` on the example pair, with its seven seconds of
// pauses: the streams, the status, every line of the text with the numbers masked, and
// the printed orientation against the pair's recorded truth.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/console_texts.h"
#include "testing/run_program.h"
#include "testing/text_lines.h"

namespace {

using test_support::Lines;
using test_support::ProgramResult;
using test_support::RunProgram;

const std::string kImg1 = RO_SOURCE_DIR "/data/example/img1.key";
const std::string kImg2 = RO_SOURCE_DIR "/data/example/img2.key";

TEST(ConsoleTextTest, BuiltProgramOnTheExamplePair) {
    const ProgramResult r = RunProgram(RELATIVE_PROGRAM, {kImg1, kImg2}, 120.0);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.signal, 0);
    EXPECT_TRUE(r.out.empty());
    const std::vector<std::string> lines = Lines(r.err);
    const std::vector<std::string> expected = relative_texts::SuccessfulRun(kImg1, kImg2, 300, 240);
    ASSERT_EQ(lines.size(), expected.size()) << r.err;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        EXPECT_TRUE(relative_texts::MatchesTemplate(lines[k], expected[k]))
            << "line " << k + 1 << ": '" << lines[k] << "' expected '" << expected[k] << "'";
    }
    EXPECT_EQ(relative_texts::PrintedResult(r.err, "X2-X1:"), 1.0);
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "Y2-Y1:"), -0.1, 0.01);
    EXPECT_NEAR(relative_texts::PrintedResult(r.err, "KAPA2-KAPA1:"), 1.5, 0.1);
}

// Standard error closed: the results cannot be written, and the run ends with status 1.
// (A full device is tested in-process, tests/relative/driver_test.cpp.)
TEST(ConsoleTextTest, UnwritableResultsEndWithStatusOne) {
    for (const char* redirect : {"2>&-"}) {
        SCOPED_TRACE(redirect);
        const ProgramResult r = RunProgram(
            "/bin/sh",
            {"-c", std::string("exec \"$0\" \"$@\" ") + redirect, RELATIVE_PROGRAM, kImg1, kImg2},
            120.0);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exit_status, 1);
    }
}

}  // namespace
