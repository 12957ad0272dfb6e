// make_aerial_block: a small block (2 strips of 4 photographs) is the same for the same seed
// whatever the thread count, and every pair it lists agrees with truth.json, oriented from
// its key files as orient orients a pair and by orient-block into its database: base
// direction, rotation and elements within 4 of their sigmas, along-strip and cross-strip
// pairs alike, the latter with W-BASE-ACROSS where their base runs along the rows.
#include <gtest/gtest.h>

#include <Eigen/Core>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "common/angles.h"
#include "keypoints/fast_reader.h"
#include "robust_orientation/estimate.h"
#include "robust_orientation/keypoint_matching.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "testing/text_lines.h"

namespace {

using common::kDegreesPerRadian;
using nlohmann::json;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

const std::vector<std::string> kSmallBlock = {"--strips",    "2",    "--photos", "4",
                                              "--keypoints", "1500", "--seed",   "19"};

void MakeBlock(const std::string& dir, const std::vector<std::string>& extra) {
    std::vector<std::string> args = kSmallBlock;
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(dir);
    const test_support::ProgramResult r = RunProgram(MAKE_AERIAL_BLOCK, args, 120.0);
    ASSERT_EQ(r.exit_status, 0) << r.err;
}

// One orientation as orient reports it: angles and their sigmas in degrees.
struct Estimate {
    std::string outcome;
    Eigen::Vector3d base = Eigen::Vector3d::Zero();
    Eigen::Vector3d base_sigma = Eigen::Vector3d::Zero();
    Eigen::Matrix3d rotation = Eigen::Matrix3d::Identity();
    Eigen::Vector3d rotation_sigma_deg = Eigen::Vector3d::Zero();
    std::optional<std::array<double, 5>> elements;  // by, bz, omega, phi, kappa
    std::array<double, 5> element_sigmas{};
    std::vector<std::string> warnings;
};

Eigen::Vector3d Vector(const json& v) {
    return {v[0].get<double>(), v[1].get<double>(), v[2].get<double>()};
}

Eigen::Matrix3d Matrix(const json& m) {
    Eigen::Matrix3d out;
    for (int r = 0; r < 3; ++r) out.row(r) = Vector(m[static_cast<std::size_t>(r)]).transpose();
    return out;
}

// Within `sigmas` of their standard deviations, or `floor` for a difference noise cannot
// tell from none.
bool Near(double value, double truth, double sigma, double floor = 1e-9) {
    return std::fabs(value - truth) <= std::max(4.0 * sigma, floor);
}

double WrappedDeg(double a) { return std::remainder(a, 360.0); }

// Checks one estimate against its truth (a pair of truth.json).
void ExpectAgreement(const Estimate& e, const json& truth) {
    SCOPED_TRACE(truth["photo1"].get<std::string>() + " " + truth["photo2"].get<std::string>());
    ASSERT_EQ(e.outcome, "oriented");
    const Eigen::Vector3d base = Vector(truth["base_direction"]);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Near(e.base(i), base(i), e.base_sigma(i))) << i;
    EXPECT_LT(std::acos(std::min(1.0, e.base.dot(base))) * kDegreesPerRadian, 1.0);
    // The rotation that takes the true attitude into the estimate, as small angles about
    // the model axes (those the sigmas refer to).
    const Eigen::Matrix3d d = e.rotation * Matrix(truth["rotation"]).transpose();
    const Eigen::Vector3d angles_deg =
        0.5 * kDegreesPerRadian *
        Eigen::Vector3d(d(2, 1) - d(1, 2), d(0, 2) - d(2, 0), d(1, 0) - d(0, 1));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Near(angles_deg(i), 0.0, e.rotation_sigma_deg(i))) << i << " " << angles_deg(i);
    }
    EXPECT_LT(angles_deg.norm(), 1.0);
    const bool across =
        std::find(e.warnings.begin(), e.warnings.end(), "W-BASE-ACROSS") != e.warnings.end();
    EXPECT_EQ(across, truth["elements"].is_null());
    EXPECT_EQ(e.elements.has_value(), !truth["elements"].is_null());
    if (!e.elements || truth["elements"].is_null()) return;
    const json& t = truth["elements"];
    const std::array<double, 5> expected = {t["by"], t["bz"], t["omega_deg"], t["phi_deg"],
                                            t["kappa_deg"]};
    for (int i = 0; i < 5; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const double difference =
            i < 2 ? (*e.elements)[k] - expected[k] : WrappedDeg((*e.elements)[k] - expected[k]);
        EXPECT_TRUE(Near(difference, 0.0, e.element_sigmas[k])) << i << " " << difference;
    }
}

Estimate FromResult(const ro::OrientationResult& r) {
    Estimate e;
    e.outcome = ro::OutcomeCode(r.outcome);
    e.base = r.geometry.base_unit;
    e.base_sigma = Eigen::Vector3d(r.precision.base_sigma.data());
    e.rotation = r.orientation.attitude;
    e.rotation_sigma_deg =
        kDegreesPerRadian * Eigen::Vector3d(r.precision.rotation_sigma_rad.data());
    if (r.precision.elements_defined) {
        const ro::Elements& x = r.elements;
        e.elements = {x.by, x.bz, x.omega_rad * kDegreesPerRadian, x.phi_rad * kDegreesPerRadian,
                      x.kappa_rad * kDegreesPerRadian};
        for (int i = 0; i < 5; ++i) {
            e.element_sigmas[static_cast<std::size_t>(i)] =
                r.precision.sigma[static_cast<std::size_t>(i)] * (i < 2 ? 1.0 : kDegreesPerRadian);
        }
    }
    for (const ro::Warning& w : r.warnings) e.warnings.push_back(w.code);
    return e;
}

// An estimate from a pair's `orient --json` document (also a line of orient-block's export).
Estimate FromReport(const json& doc) {
    Estimate e;
    e.outcome = doc["outcome"]["code"];
    if (doc["base_direction"].is_null()) return e;
    e.base = Vector(doc["base_direction"]["value"]);
    e.base_sigma = Vector(doc["base_direction"]["sigma"]);
    e.rotation = Matrix(doc["rotation"]["matrix"]);
    e.rotation_sigma_deg = Vector(doc["rotation"]["sigma_deg"]);
    const json& elements = doc["elements"];
    if (!elements["by"]["value"].is_null()) {
        const char* names[] = {"by", "bz", "omega_deg", "phi_deg", "kappa_deg"};
        e.elements.emplace();
        for (std::size_t i = 0; i < 5; ++i) {
            (*e.elements)[i] = elements[names[i]]["value"];
            e.element_sigmas[i] = elements[names[i]]["sigma"];
        }
    }
    for (const json& w : doc["warnings"]) e.warnings.push_back(w["code"]);
    return e;
}

// How many pairs of truth.json run along a strip, and across strips with their base along
// the rows (no elements).
struct Kinds {
    int along = 0;
    int across_rows = 0;
};

Kinds CountKinds(const json& pairs) {
    Kinds k;
    for (const json& p : pairs) {
        k.along += p["kind"] == "along_strip" ? 1 : 0;
        k.across_rows += p["kind"] == "across_strips" && p["elements"].is_null() ? 1 : 0;
    }
    return k;
}

class AerialBlockTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        MakeBlock(dir_->path().string(), {"--threads", "2"});
        truth_ = new json(json::parse(ReadFileBytes(dir_->File("truth.json"))));
    }
    static void TearDownTestSuite() {
        delete truth_;
        delete dir_;
    }
    static std::string File(const std::string& name) { return dir_->File(name); }
    static const json& Truth() { return *truth_; }

  private:
    static TempDir* dir_;
    static json* truth_;
};

TempDir* AerialBlockTest::dir_ = nullptr;
json* AerialBlockTest::truth_ = nullptr;

TEST_F(AerialBlockTest, SameSeedSameFilesForAnyThreadCount) {
    const TempDir again;
    MakeBlock(again.path().string(), {"--threads", "1"});
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(again.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(ReadFileBytes(entry.path().string()), ReadFileBytes(File(name))) << name;
        ++files;
    }
    EXPECT_EQ(files, 8 + 4);  // key files, camera.cam, photographs.txt, pairs.txt, truth.json
    const TempDir other;
    MakeBlock(other.path().string(), {"--seed", "20"});
    EXPECT_NE(ReadFileBytes(other.File("p01_001.key")), ReadFileBytes(File("p01_001.key")));
}

TEST_F(AerialBlockTest, EveryListedPairAgreesWithTruth) {
    const ro::CameraFileResult camera = ro::ParseCameraText(ReadFileBytes(File("camera.cam")));
    ASSERT_TRUE(std::holds_alternative<ro::Camera>(camera));
    std::vector<std::string> pair_lines = test_support::Lines(ReadFileBytes(File("pairs.txt")));
    const json& pairs = Truth()["pairs"];
    ASSERT_EQ(pair_lines.size(), pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const json& p = pairs[i];
        const std::string name1 = p["photo1"];
        const std::string name2 = p["photo2"];
        ASSERT_EQ(pair_lines[i], name1 + " " + name2);
        const auto keys1 = keypoints::ReadKeyFileStream(File(name1 + ".key").c_str());
        const auto keys2 = keypoints::ReadKeyFileStream(File(name2 + ".key").c_str());
        ASSERT_EQ(keys1.parse.status, keypoints::KeyFileStatus::ok);
        ASSERT_EQ(keys2.parse.status, keypoints::KeyFileStatus::ok);
        const std::vector<ro::TiePoint> tie_points = ro::MatchKeypoints(
            keys1.parse.keys, keys2.parse.keys, keys1.parse.dimensions, keypoints::MatchOptions{});
        const ro::OrientationResult result = ro::EstimateOrientation(
            tie_points, std::get<ro::Camera>(camera), std::get<ro::Camera>(camera), {});
        ExpectAgreement(FromResult(result), p);
    }
    const Kinds kinds = CountKinds(pairs);
    EXPECT_GE(kinds.along, 8);
    EXPECT_GE(kinds.across_rows, 3);
}

// orient-block on the block's list of key files and pairs: its database holds every pair,
// each agreeing with the truth.
TEST_F(AerialBlockTest, OrientBlockAgreesWithTruth) {
    const TempDir run;
    const std::string db = run.File("block.db");
    const test_support::ProgramResult oriented =
        RunProgram(ORIENT_BLOCK,
                   {"--db", db, "--camera", File("camera.cam"), "--list", File("photographs.txt"),
                    "--pairs", File("pairs.txt"), "--threads", "2", "--quiet"},
                   120.0);
    ASSERT_EQ(oriented.exit_status, 0) << oriented.err;
    const test_support::ProgramResult exported =
        RunProgram(ORIENT_BLOCK, {"export", "--db", db, "--json", "-"});
    ASSERT_EQ(exported.exit_status, 0) << exported.err;
    std::map<std::string, json> reports;
    for (const std::string& line : test_support::Lines(exported.out)) {
        const json doc = json::parse(line);
        reports[doc["pair"]["photo1"].get<std::string>() + " " +
                doc["pair"]["photo2"].get<std::string>()] = doc;
    }
    const json& pairs = Truth()["pairs"];
    ASSERT_EQ(reports.size(), pairs.size());
    for (const json& p : pairs) {
        const auto found =
            reports.find(p["photo1"].get<std::string>() + " " + p["photo2"].get<std::string>());
        ASSERT_NE(found, reports.end()) << p["photo1"] << " " << p["photo2"];
        ExpectAgreement(FromReport(found->second), p);
    }
}

}  // namespace
