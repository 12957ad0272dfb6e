// The command line of orient-block in the process: the block's own options and their
// refusals, and that the estimation options are orient's.
#include "orient_block/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orient_block {
namespace {

CommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "orient-block");
    return ParseCommandLine(static_cast<int>(args.size()), args.data(), 3);
}

TEST(OrientBlockCommandLine, ReadsTheRunAndItsDefaults) {
    const CommandLine line =
        Parse({"--db", "b.db", "--pairs", "sequential:4", "--shard", "2/3", "--cache-mb", "10",
               "--sigma", "0.3", "--mutual", "a.key", "b.key"});
    ASSERT_TRUE(line.run) << line.err;
    EXPECT_FALSE(line.export_pairs);
    EXPECT_EQ(line.request.key_files, (std::vector<std::string>{"a.key", "b.key"}));
    EXPECT_EQ(line.request.pairs.kind, block::PairChoice::Kind::sequential);
    EXPECT_EQ(line.request.pairs.next, 4);
    EXPECT_EQ(line.request.shard.index, 2);
    EXPECT_EQ(line.request.shard.count, 3);
    EXPECT_EQ(line.request.cache_bytes, std::size_t{10} << 20);
    EXPECT_EQ(line.request.threads, 3);
    EXPECT_EQ(line.request.settings.estimation.sigma_px, 0.3);
    EXPECT_TRUE(line.request.settings.mutual);

    const CommandLine defaults = Parse({"--db", "b.db", "--list", "keys.txt"});
    ASSERT_TRUE(defaults.run) << defaults.err;
    EXPECT_EQ(defaults.request.pairs.kind, block::PairChoice::Kind::all);
    EXPECT_EQ(defaults.request.cache_bytes, std::size_t{1024} << 20);
    EXPECT_EQ(defaults.request.settings.estimation.ransac.seed, 42u);

    const CommandLine exports = Parse({"export", "--db", "b.db", "--csv", "-", "--svg", "m.svg"});
    ASSERT_TRUE(exports.run) << exports.err;
    EXPECT_TRUE(exports.export_pairs);
    EXPECT_EQ(exports.exports.csv_file, "-");
}

struct Refusal {
    std::vector<const char*> args;
    const char* message;  // the first line of standard error
};

class OrientBlockRefusals : public testing::TestWithParam<Refusal> {};

TEST_P(OrientBlockRefusals, AreUsageErrorsInTheProgramsWords) {
    const CommandLine line = Parse(GetParam().args);
    EXPECT_FALSE(line.run);
    EXPECT_EQ(line.status, kUsageError);
    EXPECT_EQ(line.err, std::string("orient-block: ") + GetParam().message +
                            "\nTry 'orient-block --help' for more information.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OrientBlockRefusals,
    testing::Values(
        Refusal{{"a.key"}, "--db FILE is required"},
        Refusal{{"--db", "b.db"}, "give the key files of the photographs (KEY... or --list)"},
        Refusal{{"--db", "b.db", "--pairs", "sequential:0", "a.key"},
                "--pairs: 'sequential:0' is not 'all', 'sequential:N' with N a whole number "
                "from 1, or a file"},
        Refusal{{"--db", "b.db", "--shard", "3/2", "a.key"},
                "--shard: '3/2' is not I/N with whole numbers 1 <= I <= N"},
        Refusal{{"--db", "b.db", "--cache-mb", "0", "a.key"},
                "--cache-mb: '0' is not a whole number from 1 to 1048576"},
        Refusal{{"--db", "b.db", "--threshold", "0", "a.key"},
                "the threshold must be a positive number of pixels"},
        Refusal{{"export", "--db", "b.db"},
                "export writes --json, --csv or --svg: give at least one"},
        Refusal{{"export", "--db", "b.db", "--json", "-", "--csv", "-"},
                "--json and --csv cannot write to the same place"},
        Refusal{{"export", "--db", "b.db", "--svg", "b.db"},
                "--svg would overwrite the database b.db"}));

}  // namespace
}  // namespace orient_block
