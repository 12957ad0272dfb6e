// make_aerial_block: a small block (2 strips of 4 photographs) is the same for the same seed
// whatever the thread count, and every pair it lists, oriented by orient-block from its key
// files, agrees with truth.json: base direction, rotation and elements within 4 of their
// sigmas, along-strip and cross-strip pairs alike, the latter with W-BASE-ACROSS where their
// base runs along the rows.
#include <gtest/gtest.h>

#include <Eigen/Core>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/angles.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "testing/text_lines.h"

namespace {

using common::kDegreesPerRadian;
using nlohmann::json;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

void MakeBlock(const std::string& dir, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--strips",    "2",    "--photos", "4",
                                     "--keypoints", "1500", "--seed",   "19"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(dir);
    const test_support::ProgramResult r = RunProgram(MAKE_AERIAL_BLOCK, args, 120.0);
    ASSERT_EQ(r.exit_status, 0) << r.err;
}

Eigen::Vector3d Vector(const json& v) {
    return {v[0].get<double>(), v[1].get<double>(), v[2].get<double>()};
}

Eigen::Matrix3d Matrix(const json& m) {
    Eigen::Matrix3d out;
    for (int r = 0; r < 3; ++r) out.row(r) = Vector(m[static_cast<std::size_t>(r)]).transpose();
    return out;
}

// Within 4 of its standard deviation, or `floor` for a difference noise cannot tell from
// none.
bool Near(double value, double truth, double sigma, double floor = 1e-9) {
    return std::fabs(value - truth) <= std::max(4.0 * sigma, floor);
}

// Checks a pair's report (a line of orient-block's export, angles in degrees) against its
// truth (a pair of truth.json).
void ExpectAgreement(const json& doc, const json& truth) {
    SCOPED_TRACE(truth["photo1"].get<std::string>() + " " + truth["photo2"].get<std::string>());
    ASSERT_EQ(doc["outcome"]["code"], "oriented");
    const Eigen::Vector3d value = Vector(doc["base_direction"]["value"]);
    const Eigen::Vector3d sigma = Vector(doc["base_direction"]["sigma"]);
    const Eigen::Vector3d base = Vector(truth["base_direction"]);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Near(value(i), base(i), sigma(i))) << i;
    EXPECT_LT(std::acos(std::min(1.0, value.dot(base))) * kDegreesPerRadian, 1.0);
    // The rotation that takes the true attitude into the estimate, as small angles about
    // the model axes (those the sigmas refer to).
    const Eigen::Matrix3d d =
        Matrix(doc["rotation"]["matrix"]) * Matrix(truth["rotation"]).transpose();
    const Eigen::Vector3d angles_deg =
        0.5 * kDegreesPerRadian *
        Eigen::Vector3d(d(2, 1) - d(1, 2), d(0, 2) - d(2, 0), d(1, 0) - d(0, 1));
    const Eigen::Vector3d angle_sigmas = Vector(doc["rotation"]["sigma_deg"]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Near(angles_deg(i), 0.0, angle_sigmas(i))) << i << " " << angles_deg(i);
    }
    EXPECT_LT(angles_deg.norm(), 1.0);
    const json& warnings = doc["warnings"];
    const bool across = std::any_of(warnings.begin(), warnings.end(),
                                    [](const json& w) { return w["code"] == "W-BASE-ACROSS"; });
    const json& t = truth["elements"];
    const json& elements = doc["elements"];
    EXPECT_EQ(across, t.is_null());
    EXPECT_EQ(elements["by"]["value"].is_null(), t.is_null());
    if (elements["by"]["value"].is_null() || t.is_null()) return;
    const char* const names[] = {"by", "bz", "omega_deg", "phi_deg", "kappa_deg"};
    for (int i = 0; i < 5; ++i) {
        const json& e = elements[names[i]];
        const double difference = e["value"].get<double>() - t[names[i]].get<double>();
        EXPECT_TRUE(Near(i < 2 ? difference : std::remainder(difference, 360.0), 0.0,
                         e["sigma"].get<double>()))
            << names[i] << " " << difference;
    }
}

class AerialBlockTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        MakeBlock(dir_->path().string(), {"--threads", "2"});
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string File(const std::string& name) { return dir_->File(name); }

  private:
    static TempDir* dir_;
};

TempDir* AerialBlockTest::dir_ = nullptr;

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

// orient-block on the block's list of key files and pairs: its database holds every pair
// of pairs.txt (the pairs of truth.json in order), each agreeing with the truth.
TEST_F(AerialBlockTest, EveryListedPairOrientedByOrientBlockAgreesWithTruth) {
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
    const json pairs = json::parse(ReadFileBytes(File("truth.json")))["pairs"];
    const std::vector<std::string> pair_lines =
        test_support::Lines(ReadFileBytes(File("pairs.txt")));
    ASSERT_EQ(pair_lines.size(), pairs.size());
    ASSERT_EQ(reports.size(), pairs.size());
    int along = 0;
    int across_rows = 0;  // across strips with their base along the rows (no elements)
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const json& p = pairs[i];
        const std::string name =
            p["photo1"].get<std::string>() + " " + p["photo2"].get<std::string>();
        ASSERT_EQ(pair_lines[i], name);
        const auto found = reports.find(name);
        ASSERT_NE(found, reports.end()) << name;
        ExpectAgreement(found->second, p);
        along += p["kind"] == "along_strip" ? 1 : 0;
        across_rows += p["kind"] == "across_strips" && p["elements"].is_null() ? 1 : 0;
    }
    EXPECT_GE(along, 8);
    EXPECT_GE(across_rows, 3);
}

}  // namespace
