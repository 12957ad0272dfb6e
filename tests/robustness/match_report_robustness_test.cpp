// The match report on a device that is full: a report larger than the stream buffer
// fails while it is written, a small one only when the file is closed; both end the
// process with status 1 and a message naming the file, and neither claims matches.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mutate.h"
#include "utils.h"

namespace {

class MatchReportFullDeviceTest : public testing::TestWithParam<int> {};

TEST_P(MatchReportFullDeviceTest, FailsNamingTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const KeyFileParse a = ParseKeyText(MakeKeyFile(GetParam(), 8, 5));
    const KeyFileParse b = ParseKeyText(MakeKeyFile(GetParam(), 8, 5, 2.0f));
    ASSERT_EQ(a.status, KeyFileStatus::ok);
    ASSERT_EQ(b.status, KeyFileStatus::ok);
    EXPECT_EXIT(FindMatchesOutput(a.keys, b.keys, 8, "/dev/full"), testing::ExitedWithCode(1),
                "^Error: Could not write file: /dev/full\n$");
}

INSTANTIATE_TEST_SUITE_P(Sizes, MatchReportFullDeviceTest, testing::Values(2, 400));

}  // namespace
