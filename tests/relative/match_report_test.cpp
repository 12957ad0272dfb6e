// The match report file: line format, agreement with the match array, failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "keypoints/key_file.h"
#include "relative/utils.h"
#include "testing/keypoint_files.h"
#include "testing/stream_capture.h"
#include "testing/temp_dir.h"
#include "testing/text_lines.h"

namespace {

using scene::MakeKeyFile;
using test_support::Lines;
using test_support::ReadFileBytes;
using test_support::StreamCapture;
using test_support::TempDir;

KeypointSt Key(std::vector<int> descrip, float row, float col, float scale = 1.0f,
               float ori = 0.0f) {
    KeypointSt k;
    k.row = row;
    k.col = col;
    k.scale = scale;
    k.ori = ori;
    k.descrip = std::move(descrip);
    return k;
}

// Runs FindMatchesOutput into a fresh file; returns the report and the stderr text.
std::pair<std::string, std::string> Report(const KeypointList& keys1, const KeypointList& keys2,
                                           int dims) {
    TempDir dir;
    const std::string path = dir.File("report.txt");
    StreamCapture err;
    FindMatchesOutput(keys1, keys2, dims, path.c_str());
    return {ReadFileBytes(path), err.Text()};
}

TEST(MatchReport, WritesTheDocumentedLine) {
    // Keypoint 3 of the first list matches keypoint 17 (distance 150) with keypoint 42 as
    // second nearest (400); fillers are rejected (equal distances) or never nearest.
    KeypointList keys1 = {Key({5000}, 1, 1), Key({5000}, 2, 2),
                          Key({0}, 120.5f, 200.25f, 2.5f, 0.7854f)};
    KeypointList keys2;
    for (int j = 1; j <= 42; ++j) keys2.push_back(Key({5000}, 0, 0));
    keys2[16] = Key({150}, 118.0f, 190.75f, 2.6f, 0.8f);
    keys2[41] = Key({400}, 300.0f, 12.5f, 1.25f, -1.5f);
    const auto [report, err] = Report(keys1, keys2, 1);
    EXPECT_EQ(report,
              "3 200.25 120.50 2.500 0.7854 17 190.75 118.00 2.600 0.8000 150 "
              "42 12.50 300.00 1.250 -1.5000 400\n");
    EXPECT_EQ(err, "Found 1 matches\n");
}

TEST(MatchReport, NoSecondNearestKeepsSeventeenFields) {
    const KeypointList keys1 = {Key({3}, 1.0f, 2.0f)};
    const KeypointList keys2 = {Key({0}, 3.0f, 4.0f)};
    const auto [report, err] = Report(keys1, keys2, 1);
    EXPECT_EQ(report,
              "1 2.00 1.00 1.000 0.0000 1 4.00 3.00 1.000 0.0000 3 "
              "-1 0.00 0.00 0.000 0.0000 1000000000\n");
    EXPECT_EQ(err, "Found 1 matches\n");
}

TEST(MatchReport, EmptyListsGiveAnEmptyReport) {
    const KeypointList some = {Key({1}, 0, 0), Key({2}, 0, 0)};
    EXPECT_EQ(Report({}, some, 1), std::make_pair(std::string(), std::string("Found 0 matches\n")));
    EXPECT_EQ(Report(some, {}, 1), std::make_pair(std::string(), std::string("Found 0 matches\n")));
}

TEST(MatchReport, AgreesLineByLineWithTheMatchArray) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> value(0, 255);
    std::uniform_real_distribution<float> pos(-50.0f, 2000.0f);
    KeypointList keys2;
    for (int j = 0; j < 120; ++j) {
        std::vector<int> d(32);
        for (int& v : d) v = value(rng);
        keys2.push_back(Key(d, pos(rng), pos(rng), 2.0f, -0.25f));
    }
    KeypointList keys1;
    for (int i = 0; i < 150; ++i) {
        KeypointSt k = i % 3 == 0 ? Key(std::vector<int>(32, 0), pos(rng), pos(rng))
                                  : keys2[static_cast<std::size_t>(i) % keys2.size()];
        k.descrip[static_cast<std::size_t>(i) % 32] += 3;
        k.row = pos(rng);
        keys1.push_back(k);
    }
    int numMatches = 0;
    const MatchArray rows = FindMatches(keys1, keys2, 32, &numMatches);
    const auto [report, err] = Report(keys1, keys2, 32);
    const std::vector<std::string> lines = Lines(report);
    ASSERT_EQ(lines.size(), rows.size());
    EXPECT_EQ(err, "Found " + std::to_string(numMatches) + " matches\n");
    int previous_position = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        std::istringstream fields(lines[k]);
        std::vector<std::string> f;
        for (std::string w; fields >> w;) f.push_back(w);
        ASSERT_EQ(f.size(), 17u) << lines[k];
        const int position = std::stoi(f[0]);
        EXPECT_GT(position, previous_position);
        previous_position = position;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%4.2f %4.2f %4.2f %4.2f", rows[k][1], rows[k][0],
                      rows[k][3], rows[k][2]);
        EXPECT_EQ(f[1] + " " + f[2] + " " + f[6] + " " + f[7], expected);
    }
}

TEST(MatchReport, ReplacesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.Write("report.txt", "old content that must go\n");
    {
        StreamCapture err;
        FindMatchesOutput({}, {}, 1, path.c_str());
    }
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(MatchReport, UnopenableFileIsFatal) {
    EXPECT_EXIT(FindMatchesOutput({}, {}, 1, "/nonexistent-dir/report.txt"),
                testing::ExitedWithCode(1),
                "^Error: Could not open file: /nonexistent-dir/report.txt\n$");
}

// A device that is full: a report larger than the stream buffer fails while it is written,
// a small one only when the file is closed; both end the process with status 1 and a
// message naming the file, and neither claims matches.
class MatchReportFullDeviceTest : public testing::TestWithParam<int> {};

TEST_P(MatchReportFullDeviceTest, FailsNamingTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const keypoints::KeyFileParse a = keypoints::ParseKeyText(MakeKeyFile(GetParam(), 8, 5));
    const keypoints::KeyFileParse b = keypoints::ParseKeyText(MakeKeyFile(GetParam(), 8, 5, 2.0f));
    ASSERT_EQ(a.status, keypoints::KeyFileStatus::ok);
    ASSERT_EQ(b.status, keypoints::KeyFileStatus::ok);
    EXPECT_EXIT(FindMatchesOutput(a.keys, b.keys, 8, "/dev/full"), testing::ExitedWithCode(1),
                "^Error: Could not write file: /dev/full\n$");
}

INSTANTIATE_TEST_SUITE_P(Sizes, MatchReportFullDeviceTest, testing::Values(1, 2, 400));

}  // namespace
