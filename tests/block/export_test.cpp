// The exports of the stored pairs: JSON lines that a JSON reader takes line by line with
// the pair first and the report's fields after it, CSV whose columns stay where the
// header says, undefined figures empty.
#include "block/export.h"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<block::StoredPair> Pairs() {
    block::StoredPair oriented;
    oriented.photo1 = 1;
    oriented.photo2 = 2;
    oriented.name1 = "a,1";
    oriented.name2 = "b \"x\"";
    oriented.outcome = "oriented";
    oriented.matches = 600;
    oriented.inliers = 550;
    oriented.snooped = 4;
    oriented.sigma0_px = 0.41;
    oriented.warnings = {"W-CORR-BY-OMEGA", "W-SIGMA0-REJECTED"};
    oriented.seconds = 0.125;
    oriented.report_json = R"({
  "schema": "relative-orientation/1",
  "outcome": {"code": "oriented", "oriented": true, "reason": ""},
  "adjustment": {"sigma0_px": 0.41, "chi2_test": {"ratio": 0.67, "accepted": false}},
  "elements": {"by": {"value": null, "sigma": null}, "bz": {"value": -0.03, "sigma": 0.0004},
               "omega_deg": {"value": 0.5, "sigma": 0.01}, "phi_deg": {"value": -1.25, "sigma": 0.02},
               "kappa_deg": {"value": 12.5, "sigma": 0.005}},
  "base_direction": {"value": [0.999, 0.01, -0.03], "sigma": [1e-05, 0.0004, 0.0003]}
})";
    block::StoredPair refused;
    refused.photo1 = 1;
    refused.photo2 = 3;
    refused.name1 = "a,1";
    refused.name2 = "c";
    refused.outcome = "too_few_matches";
    refused.matches = 3;
    refused.sigma0_px = std::numeric_limits<double>::quiet_NaN();
    refused.report_json =
        R"({"schema": "relative-orientation/1", "outcome": {"code": "too_few_matches"},
                              "adjustment": null, "elements": null, "base_direction": null})";
    return {oriented, refused};
}

TEST(PairsJsonLines, OneReportPerLineWithThePairFirst) {
    const std::vector<std::string> lines = Lines(block::PairsJsonLines({}, Pairs()));
    ASSERT_EQ(lines.size(), 2u);
    const Json first = Json::parse(lines[0]);
    EXPECT_EQ(first.begin().key(), "pair");
    EXPECT_EQ(first["pair"], Json::parse(R"({"photo1": "a,1", "photo2": "b \"x\""})"));
    EXPECT_EQ(first["schema"], "relative-orientation/1");
    EXPECT_EQ(first["elements"]["phi_deg"]["value"], -1.25);
    EXPECT_TRUE(first["elements"]["by"]["value"].is_null());
    std::vector<std::string> keys;
    for (const auto& item : first.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"pair", "schema", "outcome", "adjustment", "elements",
                                              "base_direction"}));
    EXPECT_EQ(Json::parse(lines[1])["outcome"]["code"], "too_few_matches");
}

TEST(PairsCsv, ColumnsFollowTheHeaderAndUndefinedFiguresAreEmpty) {
    const std::vector<std::string> lines = Lines(block::PairsCsv({}, Pairs()));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], block::kPairsCsvHeader);
    EXPECT_EQ(
        lines[1],
        R"("a,1","b ""x""",oriented,600,550,4,,,-0.03,0.0004,0.5,0.01,-1.25,0.02,12.5,0.005,)"
        R"(0.999,0.01,-0.03,1e-05,0.0004,0.0003,0.41,0.67,0,W-CORR-BY-OMEGA W-SIGMA0-REJECTED,)"
        "0.125");
    EXPECT_EQ(lines[2], R"("a,1",c,too_few_matches,3,0,0,,,,,,,,,,,,,,,,,,,,,0.0)");
}

}  // namespace
