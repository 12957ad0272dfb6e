// The command line in the process: the distance ratio, the defaults, every option read,
// and the refusals (status 2, the message and the pointer to --help).
#include "orient/command_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "pair_run/run_info.h"
#include "testing/case_name.h"

namespace {

using test_support::CaseName;

constexpr char kTryHelp[] = "Try 'orient --help' for more information.\n";

orient::CommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "orient");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return orient::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), 3);
}

struct RatioCase {
    std::string name;
    std::string text;
    bool accepted;
    std::string shown;  // RatioText of the parsed ratio
};

class RatioTest : public testing::TestWithParam<RatioCase> {};

TEST_P(RatioTest, ParsesExactlyOrRefuses) {
    const std::optional<keypoints::DistanceRatio> ratio =
        keypoints::ParseDistanceRatio(GetParam().text);
    ASSERT_EQ(ratio.has_value(), GetParam().accepted);
    if (ratio) {
        EXPECT_EQ(pair_run::RatioText(*ratio), GetParam().shown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RatioTest,
    testing::Values(
        RatioCase{"default", "0.6", true, "0.6"}, RatioCase{"trailing_zeros", ".600", true, "0.6"},
        RatioCase{"one", "1", true, "1"},
        RatioCase{"nine_decimals", "0.123456789", true, "0.123456789"},
        RatioCase{"ten_decimals", "0.1234567891", false, ""}, RatioCase{"zero", "0.0", false, ""},
        RatioCase{"above_one", "1.5", false, ""}, RatioCase{"negative", "-0.5", false, ""},
        RatioCase{"exponent", "6e-1", false, ""}, RatioCase{"trailing_letter", "0.6x", false, ""},
        RatioCase{"point_alone", ".", false, ""}, RatioCase{"leading_zeros", "00.5", false, ""},
        RatioCase{"empty", "", false, ""}),
    CaseName());

TEST(CommandLine, DefaultsWithTwoFiles) {
    const orient::CommandLine line = Parse({"a.key", "b.key"});
    ASSERT_TRUE(line.run) << line.err;
    const orient::OrientOptions& o = line.options;
    EXPECT_EQ(o.keys1_file, "a.key");
    EXPECT_EQ(o.keys2_file, "b.key");
    EXPECT_EQ(pair_run::RatioText(o.ratio), "0.6");
    EXPECT_FALSE(o.mutual);
    EXPECT_EQ(o.threads, 3);
    EXPECT_EQ(o.estimation.ransac.seed, ro::kDefaultSeed);
    EXPECT_EQ(o.estimation.sigma_px, 0.5);
    EXPECT_EQ(ro::EffectiveThresholdPx(o.estimation), 2.0);
    EXPECT_EQ(o.estimation.ransac.confidence, 0.9999);
    EXPECT_TRUE(o.camera1_file.empty() && o.camera2_file.empty());
    EXPECT_TRUE(o.json_file.empty() && o.points_file.empty() && o.plot_file.empty());
    EXPECT_FALSE(o.quiet);
    EXPECT_TRUE(o.tie_points_file.empty());
}

TEST(CommandLine, TiePointsInsteadOfKeyFiles) {
    const orient::CommandLine line = Parse({"--seed", "7", "--tie-points", "t.csv"});
    ASSERT_TRUE(line.run) << line.err;
    EXPECT_EQ(line.options.tie_points_file, "t.csv");
    EXPECT_TRUE(line.options.keys1_file.empty() && line.options.keys2_file.empty());
    EXPECT_EQ(line.options.estimation.ransac.seed, 7u);
}

TEST(CommandLine, EveryOptionIsRead) {
    const orient::CommandLine line = Parse({"--camera",
                                            "c1.cam",
                                            "--camera2=c2.cam",
                                            "--ratio",
                                            "0.75",
                                            "--mutual",
                                            "--seed",
                                            "18446744073709551615",
                                            "--threads",
                                            "256",
                                            "--sigma",
                                            "0.3",
                                            "--threshold",
                                            "2",
                                            "--confidence",
                                            "0.99",
                                            "--json",
                                            "-",
                                            "--points",
                                            "p.csv",
                                            "--quiet",
                                            "a.key",
                                            "--",
                                            "-b.key"});
    ASSERT_TRUE(line.run) << line.err;
    const orient::OrientOptions& o = line.options;
    EXPECT_EQ(o.camera1_file, "c1.cam");
    EXPECT_EQ(o.camera2_file, "c2.cam");
    EXPECT_EQ(pair_run::RatioText(o.ratio), "0.75");
    EXPECT_TRUE(o.mutual);
    EXPECT_EQ(o.estimation.ransac.seed, 18446744073709551615u);
    EXPECT_EQ(o.threads, 256);
    EXPECT_EQ(o.estimation.sigma_px, 0.3);
    EXPECT_EQ(o.estimation.ransac.threshold_px, 2.0);
    EXPECT_EQ(o.estimation.ransac.confidence, 0.99);
    EXPECT_EQ(o.json_file, "-");
    EXPECT_EQ(o.points_file, "p.csv");
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.keys2_file, "-b.key");
}

// What an accepted number is read as: decimal whatever its leading zeros (never octal), and
// the double nearest to the decimal text.
struct NumberCase {
    std::string name;
    std::string option;
    std::string text;
    double expected;
};

double ValueOf(const orient::OrientOptions& o, const std::string& option) {
    if (option == "--seed") return static_cast<double>(o.estimation.ransac.seed);
    if (option == "--threads") return o.threads;
    if (option == "--sigma") return o.estimation.sigma_px;
    if (option == "--threshold") return o.estimation.ransac.threshold_px;
    return o.estimation.ransac.confidence;
}

class NumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, ReadsTheNumberMeant) {
    const orient::CommandLine line = Parse({GetParam().option, GetParam().text, "a", "b"});
    ASSERT_TRUE(line.run) << line.err;
    EXPECT_EQ(ValueOf(line.options, GetParam().option), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberTest,
    testing::Values(NumberCase{"seed_leading_zero", "--seed", "010", 10.0},
                    NumberCase{"threads_leading_zeros", "--threads", "007", 7.0},
                    NumberCase{"sigma_exponent", "--sigma", "25e-2", 0.25},
                    // Just above the midpoint between 1 and the next double: rounding first
                    // to long double, then to double, would give 1.
                    NumberCase{"sigma_nearest_double", "--sigma",
                               "1.000000000000000111022302462515654042363166809082031250001",
                               std::nextafter(1.0, 2.0)}),
    CaseName());

TEST(CommandLine, HelpAndVersionExitAtOnce) {
    for (const char* flag : {"-h", "--help"}) {
        const orient::CommandLine help = Parse({flag, "--threads", "0"});
        EXPECT_FALSE(help.run);
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find("Usage: orient [OPTIONS] img1.key img2.key\n"
                                "       orient [OPTIONS] --tie-points FILE.csv\n"),
                  std::string::npos);
        EXPECT_EQ(help.err, "");
    }
    const orient::CommandLine version = Parse({"--version"});
    EXPECT_FALSE(version.run);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("orient ") + pair_run::Version() + "\n");
}

struct UsageCase {
    std::string name;
    std::vector<std::string> args;
    std::string message;  // after "orient: "
};

class UsageErrorTest : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrorTest, Status2WithMessageAndPointerToHelp) {
    const orient::CommandLine line = Parse(GetParam().args);
    EXPECT_FALSE(line.run);
    EXPECT_EQ(line.status, 2);
    EXPECT_EQ(line.out, "");
    EXPECT_EQ(line.err, "orient: " + GetParam().message + "\n" + kTryHelp);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsageErrorTest,
    testing::Values(
        UsageCase{"no_file", {}, "give img1.key img2.key, or --tie-points FILE"},
        UsageCase{"tie_points_and_key_files",
                  {"--tie-points", "t.csv", "a"},
                  "--tie-points replaces the key files: give img1.key img2.key or --tie-points "
                  "FILE, not both"},
        UsageCase{"tie_points_with_ratio",
                  {"--tie-points", "t.csv", "--ratio", "0.8"},
                  "--ratio tunes the matching of key files: tie points are already matched "
                  "(--tie-points)"},
        UsageCase{"tie_points_with_mutual",
                  {"--mutual", "--tie-points", "t.csv"},
                  "--mutual tunes the matching of key files: tie points are already matched "
                  "(--tie-points)"},
        UsageCase{"tie_points_overwritten",
                  {"--tie-points", "t.csv", "--points", "./t.csv"},
                  "--points would overwrite the input file t.csv"},
        UsageCase{"tie_points_and_camera_from_stdin",
                  {"--tie-points", "-", "--camera", "-"},
                  "--tie-points and --camera cannot both read standard input"},
        UsageCase{"one_file", {"a.key"}, "img2.key is required"},
        UsageCase{"unknown_option",
                  {"--fast", "a", "b"},
                  "The following argument was not expected: --fast"},
        UsageCase{"flag_with_value",
                  {"--mutual=3", "a", "b"},
                  "mutual was given a disallowed flag override"},
        UsageCase{"ratio_above_one",
                  {"--ratio", "1.5", "a", "b"},
                  "--ratio: '1.5' is not a ratio in (0, 1] with at most 9 decimals"},
        UsageCase{"seed_negative",
                  {"--seed", "-1", "a", "b"},
                  "--seed: '-1' is not a whole number from 0 to 18446744073709551615"},
        UsageCase{"seed_too_large",
                  {"--seed", "18446744073709551616", "a", "b"},
                  "--seed: '18446744073709551616' is not a whole number from 0 to "
                  "18446744073709551615"},
        UsageCase{"threads_too_many",
                  {"--threads", "257", "a", "b"},
                  "--threads: '257' is not a whole number from 1 to 256"},
        UsageCase{"seed_hexadecimal",
                  {"--seed", "0x10", "a", "b"},
                  "--seed: '0x10' is not a whole number from 0 to 18446744073709551615"},
        UsageCase{"sigma_word", {"--sigma", "half", "a", "b"}, "--sigma: 'half' is not a number"},
        UsageCase{"sigma_hexadecimal",
                  {"--sigma", "0x1p-1", "a", "b"},
                  "--sigma: '0x1p-1' is not a number"},
        UsageCase{"sigma_blank", {"--sigma", " 1", "a", "b"}, "--sigma: ' 1' is not a number"},
        UsageCase{"sigma_beyond_double",
                  {"--sigma", "1e400", "a", "b"},
                  "--sigma: '1e400' is not a number"},
        UsageCase{"confidence_infinite",
                  {"--confidence", "inf", "a", "b"},
                  "--confidence: 'inf' is not a number"},
        UsageCase{"seed_empty", {"--seed", "", "a", "b"}, "--seed: the value is empty"},
        UsageCase{"json_empty", {"--json", "", "a", "b"}, "--json: the file name is empty"},
        UsageCase{"keypoint_file_empty", {"a", ""}, "img2.key: the file name is empty"},
        UsageCase{"threshold_negative",
                  {"--threshold", "-1", "a", "b"},
                  "the threshold must be a positive number of pixels"},
        UsageCase{"sigma_zero",
                  {"--sigma", "0", "a", "b"},
                  "the a-priori sigma must be a positive number of pixels"},
        UsageCase{"threshold_zero",
                  {"--threshold", "0", "a", "b"},
                  "the threshold must be a positive number of pixels"},
        UsageCase{"confidence_one",
                  {"--confidence", "1", "a", "b"},
                  "the confidence must lie strictly between 0 and 1"},
        UsageCase{"both_outputs_to_stdout",
                  {"--json", "-", "--points", "-", "a", "b"},
                  "--json and --points cannot both write to standard output"},
        UsageCase{"output_is_input",
                  {"--points", "./b", "a", "b"},
                  "--points would overwrite the input file b"},
        UsageCase{"outputs_collide",
                  {"--json", "o.txt", "--points", "./o.txt", "a", "b"},
                  "--json and --points cannot write to the same file"},
        UsageCase{"plot_and_json_to_stdout",
                  {"--plot", "-", "--json", "-", "a", "b"},
                  "--json and --plot cannot both write to standard output"},
        UsageCase{"cameras_both_from_stdin",
                  {"--camera", "-", "--camera2", "-", "a", "b"},
                  "--camera and --camera2 cannot both read standard input"},
        UsageCase{"camera_and_photograph_from_stdin",
                  {"--plot", "p.svg", "--image1", "-", "--camera2", "-", "a", "b"},
                  "--camera2 and --image1 cannot both read standard input"},
        UsageCase{"keypoint_files_both_from_stdin",
                  {"-", "-"},
                  "img1.key and img2.key cannot both read standard input"},
        UsageCase{"photograph_without_plot",
                  {"--image1", "p.jpg", "a", "b"},
                  "--image1 draws the plot over photograph 1: it needs --plot"}),
    CaseName());

}  // namespace
