// What a block run on a cluster sends between its client and its workers: a chunk and a
// finished pair survive their bytes exactly (NaN values, tie points, camera text), and
// malformed bytes are refused with the message and the field named.
#include "block/wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "camera/camera_file.h"

namespace block {
namespace {

using Json = nlohmann::json;

ChunkTask SampleChunk() {
    ChunkTask chunk;
    chunk.settings.ratio = {3, 4};
    chunk.settings.mutual = true;
    chunk.settings.estimation.sigma_px = 0.7;
    chunk.settings.estimation.ransac.threshold_px = 1.25;
    chunk.settings.estimation.ransac.seed = std::numeric_limits<std::uint64_t>::max();
    ro::Camera camera = ro::BuiltInCamera();
    camera.focal_length_m *= 1.1;
    chunk.photos = {
        {2, "a b/left.key", "/b/a b/left.key", "", ro::FormatCameraText(ro::BuiltInCamera()), {}},
        {7, "right.key", "/b/right.key", "c.cam", ro::FormatCameraText(camera), {}}};
    chunk.pairs = {{2, 7, 3, 9}};
    return chunk;
}

PairMessage SamplePair() {
    PairMessage pair{1, 4, {}};
    PairRow& r = pair.row;
    r.photo1 = 2;
    r.photo2 = 5;
    r.outcome = "oriented";
    r.oriented = true;
    r.matches = 120;
    r.inliers = 100;
    r.snooped = 3;
    for (std::size_t k = 0; k < r.values.size(); ++k) r.values[k] = 0.1 * static_cast<double>(k);
    r.values[3] = std::numeric_limits<double>::quiet_NaN();
    r.adjusted = true;
    r.covariance_json = "[[1.0]]";
    r.sigma0_px = 0.49;
    r.chi2_ratio = 1.02;
    r.chi2_accepted = true;
    r.warnings = {"W-CORR-HIGH", "W-BASE-ACROSS"};
    r.seconds = 0.031;
    r.report_json = R"({"outcome":"oriented"})";
    r.tie_points.assign(2 * kTiePointBytes, 0x5a);
    return pair;
}

TEST(Wire, ChunkSurvivesItsBytes) {
    const ChunkTask sent = SampleChunk();
    const ChunkTask got = DecodeChunk(EncodeChunk(sent));
    EXPECT_EQ(SettingsJson(got.settings), SettingsJson(sent.settings));
    EXPECT_EQ(got.settings.estimation.ransac.threshold_px, 1.25);
    ASSERT_EQ(got.photos.size(), 2u);
    EXPECT_EQ(got.photos[0].key_file, "a b/left.key");
    EXPECT_EQ(got.photos[0].key_path, "/b/a b/left.key");
    EXPECT_EQ(got.photos[1].camera_file, "c.cam");
    EXPECT_EQ(got.photos[0].camera, ro::BuiltInCamera());
    EXPECT_EQ(ro::FormatCameraText(got.photos[1].camera), sent.photos[1].camera_text);
    EXPECT_NE(got.photos[1].camera, ro::BuiltInCamera());
    ASSERT_EQ(got.pairs.size(), 1u);
    EXPECT_EQ(got.pairs[0].photo2, 7);
    EXPECT_EQ(got.pairs[0].id2, 9);
}

TEST(Wire, PairSurvivesItsBytes) {
    const PairMessage sent = SamplePair();
    const PairMessage got = DecodePair(EncodePair(sent));
    EXPECT_EQ(got.photo1, 1);
    EXPECT_EQ(got.photo2, 4);
    const PairRow& a = sent.row;
    const PairRow& b = got.row;
    EXPECT_EQ(std::memcmp(a.values.data(), b.values.data(), sizeof a.values), 0);
    EXPECT_EQ(std::tie(a.photo1, a.photo2, a.outcome, a.oriented, a.reason, a.matches, a.inliers,
                       a.snooped, a.adjusted, a.covariance_json, a.sigma0_px, a.chi2_ratio,
                       a.chi2_accepted, a.warnings, a.seconds, a.report_json, a.tie_points),
              std::tie(b.photo1, b.photo2, b.outcome, b.oriented, b.reason, b.matches, b.inliers,
                       b.snooped, b.adjusted, b.covariance_json, b.sigma0_px, b.chi2_ratio,
                       b.chi2_accepted, b.warnings, b.seconds, b.report_json, b.tie_points));
}

struct Refusal {
    const char* name;
    bool chunk;  // else a finished pair
    std::function<void(Json&)> change;
    const char* message;  // the refusal begins with it
};

class WireRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(WireRefusal, NamesTheFieldAndTheReason) {
    const Refusal& r = GetParam();
    Json json = Json::from_cbor(r.chunk ? EncodeChunk(SampleChunk()) : EncodePair(SamplePair()));
    r.change(json);
    const std::vector<std::uint8_t> bytes = Json::to_cbor(json);
    try {
        r.chunk ? (void)DecodeChunk(bytes) : (void)DecodePair(bytes);
        FAIL() << "accepted";
    } catch (const WireError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with(r.message)) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, WireRefusal,
    testing::Values(
        Refusal{"NotAMap", true, [](Json& j) { j = Json::array(); },
                "a chunk of pairs is not a map"},
        Refusal{"NoPairs", true, [](Json& j) { j.erase("pairs"); },
                "a chunk of pairs: 'pairs' is missing"},
        Refusal{"PairOutOfOrder", true, [](Json& j) { j["pairs"][0]["photo1"] = 7; },
                "a chunk of pairs: a pair: 'photo2' is not after photo1"},
        Refusal{"UnknownPhotograph", true, [](Json& j) { j["pairs"][0]["photo2"] = 8; },
                "a chunk of pairs: a pair: 'photo2' is not a photograph of the chunk"},
        Refusal{"PhotographTwice", true, [](Json& j) { j["photos"][1]["index"] = 2; },
                "a chunk of pairs: a photograph: 'index' is given twice"},
        Refusal{"HugeIndex", true, [](Json& j) { j["photos"][1]["index"] = 2000000000; },
                "a chunk of pairs: a photograph: 'index' is out of range"},
        Refusal{"BadId", true, [](Json& j) { j["pairs"][0]["id1"] = 0; },
                "a chunk of pairs: a pair: 'id1' is out of range"},
        Refusal{"RatioAboveOne", true, [](Json& j) { j["settings"]["ratio_numerator"] = 5; },
                "a chunk of pairs: settings: 'ratio_numerator' is above the denominator"},
        Refusal{"NegativeSeed", true, [](Json& j) { j["settings"]["seed"] = -1; },
                "a chunk of pairs: settings: 'seed' is not a whole number from 0"},
        Refusal{"SigmaText", true, [](Json& j) { j["settings"]["sigma_px"] = "0.5"; },
                "a chunk of pairs: settings: 'sigma_px' is not a number"},
        Refusal{"NotACamera", true, [](Json& j) { j["photos"][1]["camera_text"] = "f 12\n"; },
                "a chunk of pairs: a photograph: 'camera_text' is not a camera file: "},
        Refusal{"ShortTiePoint", false,
                [](Json& j) { j["tie_points"] = Json::binary(std::vector<std::uint8_t>(71)); },
                "a finished pair: 'tie_points' is not a whole number of tie points"},
        Refusal{"FifteenValues", false, [](Json& j) { j["values"].erase(0); },
                "a finished pair: 'values' does not hold 16 numbers"},
        Refusal{"WarningNumber", false, [](Json& j) { j["warnings"].push_back(3); },
                "a finished pair: 'warnings' is not a list of codes"},
        Refusal{"OrientedText", false, [](Json& j) { j["oriented"] = "yes"; },
                "a finished pair: 'oriented' is not true or false"}),
    [](const testing::TestParamInfo<Refusal>& param) { return std::string(param.param.name); });

TEST(Wire, RefusesBytesThatAreNotAMessage) {
    const std::vector<std::vector<std::uint8_t>> inputs = {
        {}, {0xff}, {0xa1, 0x61}, std::vector<std::uint8_t>(100000, 0x81)};
    const char* expected[] = {"a finished pair is not CBOR", "a finished pair is not CBOR",
                              "a finished pair is not CBOR", "a finished pair is nested too deep"};
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        try {
            DecodePair(inputs[k]);
            ADD_FAILURE() << k;
        } catch (const WireError& error) {
            EXPECT_STREQ(error.what(), expected[k]);
        }
    }
}

}  // namespace
}  // namespace block
