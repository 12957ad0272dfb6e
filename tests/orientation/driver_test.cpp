// The driver's usage errors and its checks before the estimator, run in-process with the
// pauses recorded instead of slept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pause.h"
#include "regex_escape.h"
#include "relative.h"
#include "relative_texts.h"
#include "temp_dir.h"

namespace {

std::vector<unsigned>& Pauses() {
    static std::vector<unsigned> pauses;
    return pauses;
}

void RecordPause(unsigned seconds) { Pauses().push_back(seconds); }

class DriverTest : public testing::Test {
  protected:
    void SetUp() override {
        Pauses().clear();
        previous_ = SetPauseFunction(RecordPause);
    }
    void TearDown() override { SetPauseFunction(previous_); }

    // Runs RelativeMain with the arguments after the program name.
    int Run(std::vector<std::string> args, std::string* err) {
        args.insert(args.begin(), "relative");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        const int status = RelativeMain(static_cast<int>(args.size()), argv.data());
        *err = testing::internal::GetCapturedStderr();
        return status;
    }

  private:
    PauseFunction previous_ = nullptr;
};

using relative_texts::kBanner;
using relative_texts::kUsage;

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
    std::string expected = kBanner;
    expected.append("\t").append(a).append("\n\t").append(b).append("\n");
    expected.append("\nReading in keypoints from the files.........done!\n");
    expected.append("features in '").append(a).append("' have '2' dimensions\n");
    expected.append("features in '").append(b).append("' have '3' dimensions\n");
    expected.append("Error: Cannot match features with different dimensions.\n");
    std::vector<std::string> args = {"relative", a, b};
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    // The whole standard error text of the run, up to and including the fatal line.
    EXPECT_EXIT(RelativeMain(3, argv.data()), testing::ExitedWithCode(1), ExactlyRegex(expected));
}

}  // namespace
