// The driver run in-process with the pauses recorded instead of slept: usage errors, the
// checks before the estimator, the whole text of a run on the example pair, and the status
// of a run whose results cannot be written.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "relative/pause.h"
#include "relative/relative.h"
#include "testing/console_texts.h"
#include "testing/stream_capture.h"
#include "testing/temp_dir.h"
#include "testing/text_lines.h"

namespace relative {
namespace {

using test_support::Lines;
using test_support::StreamCapture;
using test_support::TempDir;

using relative_texts::kBanner;
using relative_texts::kReading;
using relative_texts::kUsage;

const std::string kImg1 = RO_SOURCE_DIR "/data/example/img1.key";
const std::string kImg2 = RO_SOURCE_DIR "/data/example/img2.key";

struct PauseRecord {
    unsigned seconds;
    std::size_t text_length;  // of the standard error text when the pause came
};

std::vector<PauseRecord>& Pauses() {
    static std::vector<PauseRecord> pauses;
    return pauses;
}
const StreamCapture* pause_capture = nullptr;

void RecordPause(unsigned seconds) {
    Pauses().push_back({seconds, pause_capture ? pause_capture->Text().size() : 0});
}

class DriverTest : public testing::Test {
  protected:
    void SetUp() override {
        Pauses().clear();
        previous_ = SetPauseFunction(RecordPause);
    }
    void TearDown() override {
        SetPauseFunction(previous_);
        pause_capture = nullptr;
    }

    // RelativeMain with the arguments after the program name; *err gets standard error.
    static int Run(std::vector<std::string> args, std::string* err) {
        StreamCapture capture;
        pause_capture = &capture;
        const int status = Main(std::move(args));
        pause_capture = nullptr;
        *err = capture.Text();
        return status;
    }

    static int Main(std::vector<std::string> args) {
        args.insert(args.begin(), "relative");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        return RelativeMain(static_cast<int>(args.size()), argv.data());
    }

  private:
    PauseFunction previous_ = nullptr;
};

TEST_F(DriverTest, WrongArgumentCountsEchoAndReturnMinusOne) {
    struct Case {
        std::vector<std::string> args;
        std::string echo;
    };
    const std::vector<Case> cases = {
        {{}, "(none)\n"},
        {{"only.key"}, "\tonly.key\n"},
        {{"a.key", "b.key", "c.key"}, "\ta.key\n\tb.key\n\tc.key\n"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(Run(c.args, &err), -1);
        EXPECT_EQ(err, std::string(kBanner).append(c.echo).append(kUsage));
        EXPECT_TRUE(Pauses().empty());
    }
}

TEST_F(DriverTest, UnequalDescriptorLengthsStopAfterTheFirstPause) {
    TempDir dir;
    const std::string a = dir.Write("a.key", "1 2\n1 2 3 4 5 6\n");
    const std::string b = dir.Write("b.key", "1 3\n1 2 3 4 5 6 7\n");
    const std::string expected =
        relative_texts::Start(a, b) + kReading + relative_texts::DimensionsRefused(a, 2, b, 3);
    // The whole standard error text of the run, up to and including the fatal line.
    EXPECT_EXIT(Main({a, b}), testing::ExitedWithCode(1), testing::Eq(expected));
}

TEST_F(DriverTest, WholeRunOnTheExamplePair) {
    std::string err;
    EXPECT_EQ(Run({kImg1, kImg2}, &err), 0);
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.back(), '\n');
    const std::vector<std::string> lines = Lines(err);
    const std::vector<std::string> expected = relative_texts::SuccessfulRun(kImg1, kImg2, 300, 240);
    ASSERT_EQ(lines.size(), expected.size()) << err;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        EXPECT_TRUE(relative_texts::MatchesTemplate(lines[k], expected[k]))
            << "line " << k + 1 << ": '" << lines[k] << "' expected '" << expected[k] << "'";
    }
    // The recorded truth of the example pair (data/example/TRUTH.md).
    EXPECT_EQ(relative_texts::PrintedResult(err, "X2-X1:"), 1.0);
    EXPECT_NEAR(relative_texts::PrintedResult(err, "Y2-Y1:"), -0.1, 0.01);
    EXPECT_NEAR(relative_texts::PrintedResult(err, "Z2-Z1:"), 0.05, 0.01);
    EXPECT_NEAR(relative_texts::PrintedResult(err, "THETA2-THETA1:"), -1.2, 0.1);
    EXPECT_NEAR(relative_texts::PrintedResult(err, "PHI2-PHI1:"), 0.8, 0.1);
    EXPECT_NEAR(relative_texts::PrintedResult(err, "KAPA2-KAPA1:"), 1.5, 0.1);

    // The pauses, each right after the text that precedes it.
    const std::pair<unsigned, std::string> pauses[] = {
        {1, "files.........done!\n"},
        {2, "(128 dims)\n\tKeypoint 2: '" + kImg2 + "' has 300 local features (128 dims)\n"},
        {2, "using SIFT with threshold of 0.6\n"},
        {1, "Initializing variables for LM optimization.........done!\n"},
        {1, " secs)\n"}};
    ASSERT_EQ(Pauses().size(), std::size(pauses));
    for (std::size_t k = 0; k < Pauses().size(); ++k) {
        EXPECT_EQ(Pauses()[k].seconds, pauses[k].first) << "pause " << k;
        EXPECT_THAT(err.substr(0, Pauses()[k].text_length), testing::EndsWith(pauses[k].second))
            << "pause " << k;
    }
}

// Standard error on a full device: the results never reach their reader, and the run is a
// failure, not a success.
TEST_F(DriverTest, ResultsThatCannotBeWrittenEndWithStatusOne) {
    const int full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(full, 2);
    const int status = Main({kImg1, kImg2});
    dup2(saved, 2);
    close(saved);
    close(full);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Pauses().size(), 5u) << "the run went to the end";
}

}  // namespace
}  // namespace relative
