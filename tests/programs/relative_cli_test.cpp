// The built `relative` program: usage errors and bad input files, byte for byte on
// standard error, with an empty standard output and the documented exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/case_name.h"
#include "testing/console_texts.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::RunProgram;
using test_support::TempDir;

using relative_texts::kBanner;
using relative_texts::kReading;
using relative_texts::kUsage;

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string echo;
};

class RelativeUsageTest : public testing::TestWithParam<UsageCase> {};

TEST_P(RelativeUsageTest, EchoesArgumentsAndExitsWith255) {
    const UsageCase& c = GetParam();
    const ProgramResult r = RunProgram(RELATIVE_PROGRAM, c.args);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(kBanner).append(c.echo).append(kUsage));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RelativeUsageTest,
    testing::Values(UsageCase{"no_argument", {}, "(none)\n"},
                    UsageCase{"one_argument", {"img1.key"}, "\timg1.key\n"},
                    UsageCase{"three_arguments", {"a", "b", "c"}, "\ta\n\tb\n\tc\n"}),
    CaseName());

struct BadFileCase {
    const char* name;
    const char* first;    // content of the first file; nullptr: missing
    const char* second;   // content of the second file; nullptr: missing
    const char* message;  // after "Error: "; empty: "Could not open file: <the missing one>"
};

class RelativeBadFileTest : public testing::TestWithParam<BadFileCase> {};

TEST_P(RelativeBadFileTest, ReaderMessageContinuesTheReadingLine) {
    const BadFileCase& c = GetParam();
    TempDir dir;
    const std::string a = c.first ? dir.Write("a.key", c.first) : dir.File("missing1.key");
    const std::string b = c.second ? dir.Write("b.key", c.second) : dir.File("missing2.key");
    const std::string missing = c.first ? b : a;
    const std::string message =
        *c.message ? std::string(c.message) : "Could not open file: " + missing;
    const ProgramResult r = RunProgram(RELATIVE_PROGRAM, {a, b});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, relative_texts::Start(a, b) + kReading + "Error: " + message + "\n");
}

const char kGood[] = "1 2\n1 2 3 4 5 6\n";

INSTANTIATE_TEST_SUITE_P(
    Table, RelativeBadFileTest,
    testing::Values(BadFileCase{"first_missing_second_never_opened", nullptr, nullptr, ""},
                    BadFileCase{"second_missing", kGood, nullptr, ""},
                    BadFileCase{"first_empty", "", kGood, "Invalid keypoint file beginning."},
                    BadFileCase{"second_header_one_integer", kGood, "12",
                                "Invalid keypoint file beginning."},
                    BadFileCase{"first_truncated", "3 2\n1 2 3 4 5 6\n", kGood,
                                "Invalid keypoint file format."},
                    BadFileCase{"second_word_in_descriptor", kGood, "1 2\n1 2 3 4 5 six\n",
                                "Invalid keypoint file value."},
                    BadFileCase{"huge_announced_count", "2000000000 128\n1 2 3 4 5\n", kGood,
                                "Invalid keypoint file value."}),
    CaseName());

TEST(RelativeCli, UnequalDescriptorLengthsAreRefused) {
    TempDir dir;
    std::string content_a = "1 128\n1 2 3 4";
    for (int d = 0; d < 128; ++d) content_a += " 0";
    const std::string a = dir.Write("a.key", content_a);
    std::string content_b = "1 64\n1 2 3 4";
    for (int d = 0; d < 64; ++d) content_b += " 0";
    const std::string b = dir.Write("b.key", content_b);
    const ProgramResult r = RunProgram(RELATIVE_PROGRAM, {a, b});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, relative_texts::Start(a, b) + kReading +
                         relative_texts::DimensionsRefused(a, 128, b, 64));
}

}  // namespace
