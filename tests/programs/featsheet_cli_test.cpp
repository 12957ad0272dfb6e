// End-to-end runs of the built featsheet program: console text, exit status and the
// bytes of the output file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/console_texts.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

using featsheet_texts::Announce;
using featsheet_texts::kExit;

const std::string kProgram = FEATSHEET_PROGRAM;
const std::string kExampleKey = RO_TEST_DATA_DIR "/featsheet_example.key";

ProgramResult RunFeatsheet(const std::vector<std::string>& args) {
    ProgramResult r = RunProgram(kProgram, args, 60.0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.err, "");
    return r;
}

}  // namespace

TEST(Featsheet, ConvertsExampleFile) {
    TempDir dir;
    const std::string out = dir.File("example.csv");
    const ProgramResult r = RunFeatsheet({kExampleKey, out});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, Announce(kExampleKey, out, 3, 3) + "done!\n");
    EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(RO_TEST_DATA_DIR "/featsheet_example.csv"));
}

TEST(Featsheet, WrongArgumentCountShowsUsage) {
    TempDir dir;
    const std::string out = dir.File("out.csv");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {kExampleKey}, {kExampleKey, out, "x"}}) {
        const ProgramResult r = RunFeatsheet(args);
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_EQ(r.out, featsheet_texts::kUsage);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(Featsheet, UnopenableFilesLeaveOutputAlone) {
    TempDir dir;
    const std::string out = dir.Write("out.csv", "keep me");
    const std::string missing = dir.File("missing.key");
    ProgramResult r = RunFeatsheet({missing, out});
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.out, "\nCould not open file: " + missing + "\n" + kExit);
    EXPECT_EQ(ReadFileBytes(out), "keep me");

    // Writing over the input would destroy it before it is read.
    const std::string in = dir.Write("in.key", "1 0 1 2 3 4\n");
    std::filesystem::create_symlink(in, dir.File("link.csv"));
    for (const std::string& same : {in, dir.File("link.csv")}) {
        r = RunFeatsheet({in, same});
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_EQ(r.out, "\nCould not open file: " + same + "\n" + kExit);
        EXPECT_EQ(ReadFileBytes(in), "1 0 1 2 3 4\n");
    }

    const std::string no_dir = dir.File("no/such/dir.csv");
    r = RunFeatsheet({kExampleKey, no_dir});
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.out, "\nCould not open file: " + no_dir + "\n" + kExit);
}

TEST(Featsheet, FailuresAfterOpeningKeepOnlyCompleteLines) {
    // Each input truncates an existing output file and then fails; the progress lines
    // appear only once the header has been read (num >= 0 here).
    const struct {
        std::string key;
        int num, dims;
        std::string csv;
    } cases[] = {
        {"", -1, 0, ""},
        {"7", -1, 0, ""},
        {"x 2 1 2 3 4 5 6", -1, 0, ""},
        {"3 1\n1 2 3 4 5\n6 7 8 9 10\n", 3, 1,
         "1.00, 2.00, 3.000, 4.0000,   5\n6.00, 7.00, 8.000, 9.0000,  10\n"},
        {"2 2 1 2 3 4 5 word 1 2 3 4 5 6", 2, 2, ""},
        {"2 2 1 2 3 4 5 6 1 2 3 4 5", 2, 2, "1.00, 2.00, 3.000, 4.0000,   5,   6\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string in = dir.Write("in.key", c.key);
        const std::string out = dir.Write("out.csv", std::string(5000, 'z'));
        const ProgramResult r = RunFeatsheet({in, out});
        EXPECT_EQ(r.exit_status, 255) << c.key;
        const std::string intro = c.num < 0 ? "\n" : Announce(in, out, c.num, c.dims);
        EXPECT_EQ(r.out, intro + "Invalid keypoint file format\n" + kExit) << c.key;
        EXPECT_EQ(ReadFileBytes(out), c.csv) << c.key;
    }
}

TEST(Featsheet, NoKeypointsTruncatesOutput) {
    TempDir dir;
    const std::string in = dir.Write("in.key", "0 128\n");
    const std::string out = dir.Write("out.csv", "old content\n");
    const ProgramResult r = RunFeatsheet({in, out});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, Announce(in, out, 0, 128) + "done!\n");
    EXPECT_EQ(ReadFileBytes(out), "");
}

TEST(Featsheet, LostOutputIsAFailure) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    for (const std::string& key : {std::string("1 1 1 2 3 4 5"), std::string("2 1 1 2 3 4 5")}) {
        const std::string in = dir.Write("in.key", key);
        const ProgramResult r = RunFeatsheet({in, "/dev/full"});
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_EQ(r.out, Announce(in, "/dev/full", key[0] - '0', 1) +
                             "Could not write file: /dev/full\n" + kExit);
    }
}

TEST(Featsheet, UnreadableInputIsAFailure) {
    TempDir dir;
    const std::string out = dir.File("out.csv");
    const ProgramResult r = RunFeatsheet({dir.path().string(), out});
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.out, "\nCould not read file: " + dir.path().string() + "\n" + kExit);
}
