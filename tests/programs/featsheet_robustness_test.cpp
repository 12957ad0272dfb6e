// `featsheet` on damaged keypoint files: every run ends by exit with status 0 or 255, in
// time, without a sanitizer report; the CSV file holds exactly the lines of the entries
// that converted before any failure (compared with a plain model of the conversion), and
// output that cannot be written is never reported as success.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/featsheet_model.h"
#include "testing/keypoint_files.h"
#include "testing/program_checks.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using scene::MakeKeyFile;
using scene::MutateKeyFile;
using test_support::ConvertLikeFeatsheet;
using test_support::EndedCleanly;
using test_support::FeatsheetModel;
using test_support::kSanitized;
using test_support::kSlackSeconds;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunLimited;
using test_support::RunProgram;
using test_support::TempDir;

constexpr std::uint32_t kSeed = 11;

void CheckRun(const std::string& input, const std::string& in, const std::string& out,
              const ProgramResult& r) {
    ASSERT_TRUE(EndedCleanly(r)) << r.out << r.err;
    const FeatsheetModel model = ConvertLikeFeatsheet(input);
    if (model.ok) {
        EXPECT_EQ(r.exit_status, 0) << r.out;
        EXPECT_THAT(r.out, testing::EndsWith("done!\n")) << r.out;
    } else {
        EXPECT_EQ(r.exit_status, 255) << r.out;
        EXPECT_THAT(r.out, testing::EndsWith("Invalid keypoint file format\nExiting program\n\n"))
            << r.out;
    }
    EXPECT_EQ(ReadFileBytes(out), model.csv) << "input " << in;
}

TEST(FeatsheetRobustness, DamagedFilesConvertOrFailCleanly) {
    const std::string base = MakeKeyFile(12, 24, kSeed);
    TempDir dir;
    const std::string in = dir.File("in.key");
    const std::string out = dir.File("out.csv");
    for (std::uint32_t seed = 1; seed <= 250; ++seed) {
        std::string what;
        const std::string damaged = MutateKeyFile(base, seed, &what);
        dir.Write("in.key", damaged);
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + what);
        CheckRun(damaged, in, out, RunProgram(FEATSHEET_PROGRAM, {in, out}, kSlackSeconds));
        if (HasFatalFailure()) return;
    }
}

struct HeaderCase {
    const char* name;
    const char* text;
};

class FeatsheetMemoryTest : public testing::TestWithParam<HeaderCase> {};

// Whatever the header announces, memory follows what the file holds.
TEST_P(FeatsheetMemoryTest, LyingHeaderStaysWithinTheMemoryLimit) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";
    TempDir dir;
    const std::string in = dir.Write("in.key", GetParam().text);
    const std::string out = dir.File("out.csv");
    CheckRun(GetParam().text, in, out, RunLimited(FEATSHEET_PROGRAM, {in, out}, kSlackSeconds));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FeatsheetMemoryTest,
    testing::Values(HeaderCase{"huge_count_and_length", "2147483647 2147483647\n1 2 3 4 5 6 7\n"},
                    HeaderCase{"huge_count", "2147483647 4\n1 2 3 4 5 6 7 8\n"},
                    HeaderCase{"huge_length_one_keypoint", "1 2000000000\n1 2 3 4 5\n"},
                    HeaderCase{"negative_length", "2 -2000000000\n1 2 3 4\n5 6 7 8\n"}),
    [](const testing::TestParamInfo<HeaderCase>& p) { return std::string(p.param.name); });

// A long file, so that the output fails part-way, not only when it is closed.
TEST(FeatsheetRobustness, FullDeviceIsAFailureNamingTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    for (int count : {1, 3000}) {
        const std::string in = dir.Write("in.key", MakeKeyFile(count, 128, kSeed));
        const ProgramResult r = RunProgram(FEATSHEET_PROGRAM, {in, "/dev/full"}, kSlackSeconds);
        ASSERT_TRUE(EndedCleanly(r)) << r.out << r.err;
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_THAT(r.out,
                    testing::EndsWith("Could not write file: /dev/full\nExiting program\n\n"))
            << r.out;
    }
}

// Inputs that are not regular files: a directory opens but cannot be read, /dev/null is
// empty.
TEST(FeatsheetRobustness, SpecialInputsFailCleanly) {
    TempDir dir;
    const std::string folder = dir.path().string() + "/sub";
    std::filesystem::create_directory(folder);
    const std::string out = dir.File("out.csv");
    const struct {
        std::string file;
        std::string message;
    } cases[] = {{folder, "Could not read file: " + folder + "\n"},
                 {"/dev/null", "Invalid keypoint file format\n"}};
    for (const auto& c : cases) {
        const ProgramResult r = RunProgram(FEATSHEET_PROGRAM, {c.file, out}, kSlackSeconds);
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(EndedCleanly(r)) << r.out << r.err;
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_THAT(r.out, testing::EndsWith(c.message + "Exiting program\n\n")) << r.out;
    }
}

TEST(FeatsheetRobustness, UnopenableOutputIsAFailureNamingTheFile) {
    TempDir dir;
    const std::string in = dir.Write("in.key", MakeKeyFile(2, 4, kSeed));
    const std::string out = dir.File("missing/out.csv");
    const ProgramResult r = RunProgram(FEATSHEET_PROGRAM, {in, out}, kSlackSeconds);
    ASSERT_TRUE(EndedCleanly(r)) << r.out << r.err;
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_THAT(r.out, testing::EndsWith("Could not open file: " + out + "\nExiting program\n\n"))
        << r.out;
}

}  // namespace
