// The built `orient` on the bundled real rig pair against the rig's calibrated orientation:
// the undistorted pair with its one camera, and the pair as taken with each camera's
// calibration, distortion included. Without the distortion the same raw pair must miss the
// truth by many standard deviations, so that the check has teeth.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

const std::string kData = RO_SOURCE_DIR "/data/real/";

// The rig's orientation from the chessboard calibration of 13 views, with the bootstrap
// standard deviations over the views (data/real/stereo/TRUTH.md).
struct Element {
    const char* name;
    double truth;
    double sigma;
} const kTruth[] = {{"by", 0.00835, 0.00119},
                    {"bz", 0.01231, 0.00801},
                    {"omega_deg", -0.0150, 0.1646},
                    {"phi_deg", 0.2024, 0.1265},
                    {"kappa_deg", -0.2365, 0.0184}};

// The largest difference from the truth in combined standard deviations (orient's and the
// calibration's); the JSON document must hold an adjusted orientation. With `must_orient`
// the run must end with status 0, otherwise an ambiguous run (status 3) is taken as well.
double LargestMiss(const std::vector<std::string>& cameras, const std::string& pair,
                   const TempDir& dir, bool must_orient = true) {
    std::vector<std::string> args = cameras;
    const std::string json = dir.File(pair + ".json");
    args.insert(args.end(), {"--sigma", "0.3", "--quiet", "--force", "--json", json,
                             kData + pair + "/left.key", kData + pair + "/right.key"});
    const auto run = RunProgram(ORIENT_PROGRAM, args, 120.0);
    EXPECT_TRUE(run.exit_status == 0 || (!must_orient && run.exit_status == 3)) << run.err;
    const nlohmann::json document = nlohmann::json::parse(ReadFileBytes(json), nullptr, false);
    if (document.is_discarded() || !document["elements"].is_object()) {
        ADD_FAILURE() << "no elements in " << json;
        return 0.0;
    }
    double largest = 0.0;
    for (const Element& e : kTruth) {
        const auto& element = document["elements"][e.name];
        const double miss = std::fabs(element["value"].get<double>() - e.truth) /
                            std::hypot(element["sigma"].get<double>(), e.sigma);
        largest = std::max(largest, miss);
        ::testing::Test::RecordProperty(pair + "_" + e.name, std::to_string(miss));
    }
    return largest;
}

// A camera file with its distortion lines (k1 ... p2) removed.
std::string WithoutDistortion(const std::string& path, const TempDir& dir) {
    std::istringstream in(ReadFileBytes(path));
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (!std::regex_match(line, std::regex(R"(^\s*[kp][123]\s*=.*)"))) kept += line + '\n';
    }
    return dir.Write(std::filesystem::path(path).filename().string(), kept);
}

// The undistorted pair misses by at most 0.9 combined sigmas; the raw pair with both
// calibrations by 3.1 in by (correlated at -0.89 with omega) and at most 1.4 in the other
// elements. The bound leaves room for the truth's own uncertainty beyond its bootstrap
// sigmas: an essential matrix of all chessboard corners differs from it by up to 2.5 of
// them.
TEST(RealRigPair, AgreesWithTheCalibrationWithinTheStatedSigmas) {
    TempDir dir;
    EXPECT_LE(LargestMiss({"--camera", kData + "stereo/camera.txt"}, "stereo", dir), 3.5);
    EXPECT_LE(LargestMiss({"--camera", kData + "stereo-raw/left.cam", "--camera2",
                           kData + "stereo-raw/right.cam"},
                          "stereo-raw", dir),
              3.5);
}

TEST(RealRigPair, RawPairWithoutItsDistortionMissesByManySigmas) {
    TempDir dir;
    EXPECT_GT(LargestMiss({"--camera", WithoutDistortion(kData + "stereo-raw/left.cam", dir),
                           "--camera2", WithoutDistortion(kData + "stereo-raw/right.cam", dir)},
                          "stereo-raw", dir, false),
              10.0);
}

}  // namespace
