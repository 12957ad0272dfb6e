// The rig block of data/real/rig/ end to end: `siftkey` on its 26 photographs as taken, then
// `orient-block` on the 13 pairs of pairs.txt with the cameras that cameras.txt names, and
// each pair's five elements against the rig's one calibrated orientation
// (data/real/stereo/TRUTH.md) in combined standard deviations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

const std::filesystem::path kRig = RO_SOURCE_DIR "/data/real/rig";

// The rig's orientation with the bootstrap standard deviations of its calibration.
struct Element {
    const char* name;
    double truth;
    double sigma;
} const kTruth[] = {{"by", 0.00835, 0.00119},
                    {"bz", 0.01231, 0.00801},
                    {"omega_deg", -0.0150, 0.1646},
                    {"phi_deg", 0.2024, 0.1265},
                    {"kappa_deg", -0.2365, 0.0184}};

// What each view's pair gives. Most agree with the truth within 3.5 combined sigmas, the
// bound of real_pairs_test.cpp. The exceptions, as measured (von Gruber regions of
// photograph 1, two columns by three rows):
// - 03, 04, 09: a second solution fits the tie points as well (outcome ambiguous). The first
//   solution of 03 and 09 still agrees within 2 sigmas; 04's misses by 10 (kappa
//   -0.62 deg, by 0.027): 62 of its 88 inliers lie in the bottom left region.
// - 08, 11: kappa 0.11 deg from the truth, 4.0 combined sigmas (08's phi too, 0.58 deg,
//   3.8), where the truth's own kappa is the least certain element (the chessboard
//   corners' essential matrix differs from it by 2.5 of its sigmas).
// - 12: misses by 15 sigmas (kappa +0.24 deg against -0.24, by 0.024, phi -0.75 deg): 68 of
//   its 81 inliers lie in the right column and one region holds a single point, so by, phi
//   and kappa trade off (condition number 50) and its sigmas understate the error. Checked
//   only to orient.
constexpr double kUnchecked = std::numeric_limits<double>::infinity();
struct PairExpectation {
    const char* outcome;
    double bound;  // largest miss in combined sigmas
};
constexpr const char* kOriented = "oriented";
constexpr const char* kAmbiguous = "ambiguous";
const std::map<std::string, PairExpectation> kExpected = {
    {"01", {kOriented, 3.5}},         {"02", {kOriented, 3.5}},        {"03", {kAmbiguous, 3.5}},
    {"04", {kAmbiguous, kUnchecked}}, {"05", {kOriented, 3.5}},        {"06", {kOriented, 3.5}},
    {"07", {kOriented, 3.5}},         {"08", {kOriented, 4.5}},        {"09", {kAmbiguous, 3.5}},
    {"11", {kOriented, 4.5}},         {"12", {kOriented, kUnchecked}}, {"13", {kOriented, 3.5}},
    {"14", {kOriented, 3.5}}};

// The lines of a list file split into words, without `#` comments and blank lines.
std::vector<std::vector<std::string>> Rows(const std::filesystem::path& path) {
    std::istringstream in(ReadFileBytes(path.string()));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::vector<std::string> row;
        for (std::string word; words >> word;) row.push_back(word);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// The largest difference of the adjusted elements in `json` from the truth, in combined
// standard deviations (the pair's and the calibration's).
double LargestMiss(const nlohmann::json& document) {
    double largest = 0.0;
    for (const Element& e : kTruth) {
        const auto& element = document["elements"][e.name];
        largest = std::max(largest, std::fabs(element["value"].get<double>() - e.truth) /
                                        std::hypot(element["sigma"].get<double>(), e.sigma));
    }
    return largest;
}

TEST(RigBlock, EachPairAgreesWithTheRigOrKnownWhyNot) {
    TempDir dir;
    // The camera files of cameras.txt are relative to the rig's folder.
    std::vector<std::string> args = {"--db",      dir.File("rig.db"),
                                     "--cameras", (kRig / "cameras.txt").string(),
                                     "--pairs",   (kRig / "pairs.txt").string(),
                                     "--sigma",   "0.3",
                                     "--quiet"};
    std::vector<std::string> photographs = {"-o", dir.File("keys"), "--quiet"};
    for (const auto& row : Rows(kRig / "cameras.txt")) {
        ASSERT_EQ(row.size(), 2U);
        photographs.push_back((kRig / (row[0] + ".jpg")).string());
        args.push_back(dir.File("keys/" + row[0] + ".key"));
    }
    ASSERT_EQ(args.size(), 9 + 2 * kExpected.size());
    auto run = RunProgram(SIFTKEY_PROGRAM, photographs, 120.0);
    ASSERT_EQ(run.exit_status, 0) << run.err;
    run = RunProgram(ORIENT_BLOCK_PROGRAM, args, 300.0);
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const std::string jsonl = dir.File("pairs.jsonl");
    run = RunProgram(ORIENT_BLOCK_PROGRAM, {"export", "--db", dir.File("rig.db"), "--json", jsonl});
    ASSERT_EQ(run.exit_status, 0) << run.err;

    std::istringstream lines(ReadFileBytes(jsonl));
    std::size_t pairs = 0;
    for (std::string line; std::getline(lines, line); ++pairs) {
        const auto document = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(!document.is_discarded() && document["elements"].is_object()) << line;
        const std::string photo1 = document["pair"]["photo1"].get<std::string>();
        const std::string view = photo1.substr(photo1.size() - 2);
        SCOPED_TRACE("view " + view);
        EXPECT_EQ(photo1, "left" + view);
        EXPECT_EQ(document["pair"]["photo2"], "right" + view);
        const PairExpectation& expected = kExpected.at(view);
        EXPECT_EQ(document["outcome"]["code"], expected.outcome);
        const double miss = LargestMiss(document);
        ::testing::Test::RecordProperty("miss_" + view, std::to_string(miss));
        EXPECT_LE(miss, expected.bound);
    }
    EXPECT_EQ(pairs, kExpected.size());
}

}  // namespace
