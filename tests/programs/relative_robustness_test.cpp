// `relative` on damaged keypoint files: every run ends by exit with status 0, 1 or 255, in
// time, without a sanitizer report, and a file the reader refuses is reported with the
// reader's message for it. The reader's verdict is known beforehand from ParseKeyText, so
// most runs are ones that stop in the reader (no pauses); only a few reach later steps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "keypoints/key_file.h"
#include "relative/utils.h"
#include "testing/keypoint_files.h"
#include "testing/program_checks.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using scene::MakeKeyFile;
using scene::MutateKeyFile;
using test_support::EndedCleanly;
using test_support::kSanitized;
using test_support::kSlackSeconds;
using test_support::ProgramResult;
using test_support::RunLimited;
using test_support::RunProgram;
using test_support::TempDir;

constexpr int kCount = 24;
constexpr int kDims = 16;
constexpr std::uint32_t kSeed = 7;

// Pauses of a run that stops at the dimension check.
constexpr double kDimensionPause = 1.0;

std::string Expected(const keypoints::KeyFileParse& p) {
    return std::string("Error: ") + KeyFileStatusMessage(p.status) + "\n";
}

TEST(RelativeRobustness, DamagedFilesStopInTheReaderWithItsMessage) {
    const std::string base = MakeKeyFile(kCount, kDims, kSeed);
    const std::string other = MakeKeyFile(kCount, kDims, kSeed, 3.0f);
    TempDir dir;
    const std::string good = dir.Write("good.key", other);
    int runs = 0;
    for (std::uint32_t seed = 1; runs < 60 && seed < 2000; ++seed) {
        std::string what;
        const std::string damaged = MutateKeyFile(base, seed, &what);
        const keypoints::KeyFileParse parsed = keypoints::ParseKeyText(damaged);
        if (parsed.status == keypoints::KeyFileStatus::ok) continue;
        ++runs;
        const std::string bad = dir.Write("bad.key", damaged);
        // Alternate which of the two files is the damaged one.
        const bool first = seed % 2 == 0;
        const ProgramResult r =
            RunProgram(RELATIVE_PROGRAM, {first ? bad : good, first ? good : bad}, kSlackSeconds);
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + what);
        ASSERT_TRUE(EndedCleanly(r)) << r.err;
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_THAT(r.err, testing::EndsWith(Expected(parsed))) << r.err;
    }
    EXPECT_EQ(runs, 60);
}

// Damage the reader accepts (line ends, spacing, trailing text): the run goes on. With a
// second file of another descriptor length it stops at the dimension check.
TEST(RelativeRobustness, AcceptedDamageReachesTheDimensionCheck) {
    const std::string base = MakeKeyFile(kCount, kDims, kSeed);
    TempDir dir;
    const std::string other = dir.Write("other.key", MakeKeyFile(kCount, kDims + 1, kSeed));
    int runs = 0;
    for (std::uint32_t seed = 1; runs < 3 && seed < 2000; ++seed) {
        std::string what;
        const std::string damaged = MutateKeyFile(base, seed, &what);
        const keypoints::KeyFileParse parsed = keypoints::ParseKeyText(damaged);
        if (parsed.status != keypoints::KeyFileStatus::ok || parsed.dimensions == kDims + 1)
            continue;
        ++runs;
        const std::string file = dir.Write("damaged.key", damaged);
        const ProgramResult r =
            RunProgram(RELATIVE_PROGRAM, {file, other}, kDimensionPause + kSlackSeconds);
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + what);
        ASSERT_TRUE(EndedCleanly(r)) << r.err;
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_THAT(r.err,
                    testing::EndsWith("Error: Cannot match features with different dimensions.\n"))
            << r.err;
    }
    EXPECT_EQ(runs, 3);
}

// Inputs that are not regular files: a directory opens but cannot be read, /dev/null is
// empty.
TEST(RelativeRobustness, SpecialFilesAreReportedByName) {
    TempDir dir;
    const std::string good = dir.Write("good.key", MakeKeyFile(3, 4, kSeed));
    const std::string folder = dir.path().string();
    const struct {
        std::string file;
        std::string message;
    } cases[] = {{folder, "Error: Could not read file: " + folder + "\n"},
                 {"/dev/null", "Error: Invalid keypoint file beginning.\n"}};
    for (const auto& c : cases) {
        const ProgramResult r = RunProgram(RELATIVE_PROGRAM, {good, c.file}, kSlackSeconds);
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(EndedCleanly(r)) << r.err;
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_THAT(r.err, testing::EndsWith(c.message)) << r.err;
    }
}

struct HeaderCase {
    const char* name;
    const char* text;
    const char* message;
};

class RelativeMemoryTest : public testing::TestWithParam<HeaderCase> {};

// Whatever the header announces, memory follows what the file holds.
TEST_P(RelativeMemoryTest, LyingHeaderStaysWithinTheMemoryLimit) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";
    TempDir dir;
    const std::string bad = dir.Write("bad.key", GetParam().text);
    const std::string good = dir.Write("good.key", MakeKeyFile(3, 4, kSeed));
    const ProgramResult r = RunLimited(RELATIVE_PROGRAM, {bad, good}, kSlackSeconds);
    ASSERT_TRUE(EndedCleanly(r)) << r.err;
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_THAT(r.err, testing::EndsWith(std::string("Error: ") + GetParam().message + "\n"))
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RelativeMemoryTest,
    testing::Values(HeaderCase{"huge_count_and_length", "2147483647 2147483647\n1 2 3 4 5 6 7\n",
                               "Invalid keypoint file value."},
                    HeaderCase{"huge_count", "2147483647 4\n1 2 3 4 5 6 7 8\n",
                               "Invalid keypoint file format."},
                    HeaderCase{"huge_count_no_descriptor", "1000000000 0\n1 2 3 4\n5 6 7 8\n",
                               "Invalid keypoint file format."},
                    HeaderCase{"huge_length_one_keypoint", "1 2000000000\n1 2 3 4 5\n",
                               "Invalid keypoint file value."}),
    [](const testing::TestParamInfo<HeaderCase>& p) { return std::string(p.param.name); });

}  // namespace
