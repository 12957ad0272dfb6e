// The rig block of data/real/rig/ end to end: `siftkey` on its 26 photographs as taken, then
// `orient` on each of the 13 pairs of pairs.txt with the cameras that cameras.txt names,
// and each pair's five elements against the rig's one calibrated orientation
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
// - 03, 04, 09: a second solution fits the tie points as well (status 3). The first
//   solution of 03 and 09 still agrees within 2 sigmas; 04's misses by 10 (kappa
//   -0.62 deg, by 0.027): 62 of its 88 inliers lie in the bottom left region.
// - 08, 11: kappa 0.11 deg from the truth, 4.0 combined sigmas, where the truth's own
//   kappa is the least certain element (the chessboard corners' essential matrix differs
//   from it by 2.5 of its sigmas).
// - 12: misses by 15 sigmas (kappa +0.24 deg against -0.24, by 0.024, phi -0.75 deg): 68 of
//   its 81 inliers lie in the right column and one region holds a single point, so by, phi
//   and kappa trade off (condition number 50) and its sigmas understate the error. Checked
//   only to orient.
constexpr double kUnchecked = std::numeric_limits<double>::infinity();
struct PairExpectation {
    int exit_status;
    double bound;  // largest miss in combined sigmas
};
const std::map<std::string, PairExpectation> kExpected = {
    {"01", {0, 3.5}}, {"02", {0, 3.5}}, {"03", {3, 3.5}},        {"04", {3, kUnchecked}},
    {"05", {0, 3.5}}, {"06", {0, 3.5}}, {"07", {0, 3.5}},        {"08", {0, 4.5}},
    {"09", {3, 3.5}}, {"11", {0, 4.5}}, {"12", {0, kUnchecked}}, {"13", {0, 3.5}},
    {"14", {0, 3.5}}};

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
    std::map<std::string, std::string> cameras;
    for (const auto& row : Rows(kRig / "cameras.txt")) {
        ASSERT_EQ(row.size(), 2U);
        cameras[row[0]] = (kRig / row[1]).string();
    }
    const auto pairs = Rows(kRig / "pairs.txt");
    ASSERT_EQ(pairs.size(), kExpected.size());
    ASSERT_EQ(cameras.size(), 2 * kExpected.size());

    std::vector<std::string> args = {"-o", dir.File("keys"), "--quiet"};
    for (const auto& [name, camera] : cameras) {
        ASSERT_TRUE(std::filesystem::exists(camera)) << camera;
        args.push_back((kRig / (name + ".jpg")).string());
    }
    const auto keys = RunProgram(SIFTKEY_PROGRAM, args, 120.0);
    ASSERT_EQ(keys.exit_status, 0) << keys.err;
    for (const auto& pair : pairs) {
        ASSERT_EQ(pair.size(), 2U);
        const std::string view = pair[0].substr(pair[0].size() - 2);
        SCOPED_TRACE("view " + view);
        ASSERT_EQ(pair[0], "left" + view);
        ASSERT_EQ(pair[1], "right" + view);
        const PairExpectation& expected = kExpected.at(view);
        const std::string json = dir.File(view + ".json");
        const auto run =
            RunProgram(ORIENT_PROGRAM, {"--camera", cameras.at(pair[0]), "--camera2",
                                        cameras.at(pair[1]), "--sigma", "0.3", "--quiet", "--json",
                                        json, dir.File("keys/" + pair[0] + ".key"),
                                        dir.File("keys/" + pair[1] + ".key")});
        EXPECT_EQ(run.exit_status, expected.exit_status) << run.err;
        const auto document = nlohmann::json::parse(ReadFileBytes(json), nullptr, false);
        ASSERT_TRUE(!document.is_discarded() && document["elements"].is_object());
        const double miss = LargestMiss(document);
        ::testing::Test::RecordProperty("miss_" + view, std::to_string(miss));
        EXPECT_LE(miss, expected.bound);
    }
}

}  // namespace
