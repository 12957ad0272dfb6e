// The inputs of a block in the process: photograph names, the camera list, the pair
// choices and lists with their errors, shards and the run order, and the key-file cache.
#include "block/pairing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "block/key_cache.h"
#include "block/photographs.h"
#include "testing/keypoint_files.h"
#include "testing/temp_dir.h"

namespace block {
namespace {

using test_support::TempDir;

const std::vector<std::string> kKeys = {"a/left.key", "b/right.key", "c/top"};
const std::vector<std::string> kNames = {"left", "right", "top"};

TEST(Photographs, NamesComeFromTheKeyFilesAndMustDiffer) {
    EXPECT_EQ(PhotographNames(kKeys), kNames);
    EXPECT_EQ(PhotographName(".key"), ".key");
    try {
        PhotographNames({"a/left.key", "b/x.key", "c/left.key"});
        FAIL();
    } catch (const InputError& e) {
        EXPECT_STREQ(e.what(),
                     "two key files are both photograph 'left': a/left.key and c/left.key");
    }
    EXPECT_EQ(ParseKeyList(" a.key  # first\n\n# none\nb c.key\r\n", "list.txt"),
              (std::vector<std::string>{"a.key", "b c.key"}));
    // Relative paths are relative to the list's folder, whatever the current folder.
    EXPECT_EQ(ParseKeyList("x.key\n/abs/y.key\n../z.key\n", "blocks/a/list.txt"),
              (std::vector<std::string>{"blocks/a/x.key", "/abs/y.key", "blocks/a/../z.key"}));
    EXPECT_EQ(ParseKeyList("x.key\n", "-"), std::vector<std::string>{"x.key"});
    EXPECT_EQ(AssignCameras("a rig/a.cam\n", "blocks/cams.txt", {"a"}, {"a.key"}, "")[0].file,
              "blocks/rig/a.cam");
}

// A pair list's or camera list's text and the error it gives ("" when accepted).
struct ListCase {
    bool cameras;
    const char* text;
    const char* error;
};

class ListLines : public testing::TestWithParam<ListCase> {};

TEST_P(ListLines, RefusesBadLinesWithTheirPlace) {
    const ListCase& c = GetParam();
    std::string error;
    try {
        if (!c.cameras) {
            ParsePairList(c.text, "pairs.txt", kNames, kKeys);
        } else {
            const std::vector<CameraChoice> cameras =
                AssignCameras(c.text, "cams.txt", kNames, kKeys, "all.cam");
            EXPECT_EQ(cameras[0].file, "l e.cam");
            EXPECT_EQ(cameras[0].line, 1);
            EXPECT_EQ(cameras[1].file, "all.cam");
            EXPECT_EQ(cameras[1].line, 0);
        }
    } catch (const InputError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    PairsAndCameras, ListLines,
    testing::Values(
        ListCase{false, "left right\n# c\n\nright top # c\n", ""},
        ListCase{false, "left right\nleft\n",
                 "pairs.txt:2: expected two photographs, found 1 words"},
        ListCase{false, "left right x\n", "pairs.txt:1: expected two photographs, found 3 words"},
        ListCase{false, "left bottom\n", "pairs.txt:1: unknown photograph 'bottom'"},
        ListCase{false, "\nc/top c/top\n", "pairs.txt:2: photograph 'top' is paired with itself"},
        ListCase{false, "left right\n\nright left\n",
                 "pairs.txt:3: the pair left right was listed on line 1"},
        ListCase{true, "left   l e.cam  # blanks inside stay\n", ""},
        ListCase{true, "a/left.key l e.cam\n", ""},
        ListCase{true, "left\n", "cams.txt:1: expected a photograph and its camera file"},
        ListCase{true, "left l e.cam\nbottom b.cam\n", "cams.txt:2: unknown photograph 'bottom'"},
        ListCase{true, "left l e.cam\n\nleft x.cam\n",
                 "cams.txt:3: photograph 'left' was given a camera on line 1"}));

TEST(PairList, IsCanonicalWhateverTheOrderOfTheLines) {
    EXPECT_EQ(ParsePairList("top right\na/left.key top\n", "p", kNames, kKeys),
              (std::vector<PhotoPair>{{0, 2}, {1, 2}}));
}

TEST(CameraList, AnUnreadableCameraNamesTheListLine) {
    try {
        ReadCameras({{"", 0}, {"/nonexistent/x.cam", 4}}, "cams.txt");
        FAIL();
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cams.txt:4: /nonexistent/x.cam: cannot open: ", 0),
                  0u)
            << e.what();
    }
}

TEST(PairChoices, ReadTheirValues) {
    PairChoice choice;
    ASSERT_TRUE(ParsePairChoice("sequential:2", choice));
    EXPECT_EQ(SequentialPairs(4, choice.next),
              (std::vector<PhotoPair>{{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}}));
    EXPECT_EQ(AllPairs(3), (std::vector<PhotoPair>{{0, 1}, {0, 2}, {1, 2}}));
    for (const char* bad : {"sequential:", "sequential:0", "sequential:-1", "sequential:1x"}) {
        EXPECT_FALSE(ParsePairChoice(bad, choice)) << bad;
    }
    ASSERT_TRUE(ParsePairChoice("my pairs", choice));
    EXPECT_EQ(choice.kind, PairChoice::Kind::file);
    Shard shard;
    for (const char* bad : {"0/2", "3/2", "1/0", "1", "/2", "1/2/3", "-1/2", "a/b"}) {
        EXPECT_FALSE(ParseShard(bad, shard)) << bad;
    }
}

// The shards of any count partition the pairs; the run order is a permutation that keeps
// every tile's pairs together.
TEST(Shards, PartitionThePairsAndTheRunOrderKeepsThemAll) {
    const std::vector<PhotoPair> all = AllPairs(13);
    for (int count : {1, 2, 5, 100}) {
        std::multiset<PhotoPair> seen;
        for (int index = 1; index <= count; ++index) {
            const std::vector<PhotoPair> part = ShardPairs(all, {index, count});
            EXPECT_LE(part.size(), all.size() / count + 1);
            seen.insert(part.begin(), part.end());
        }
        EXPECT_EQ(std::vector<PhotoPair>(seen.begin(), seen.end()), all);
    }
    EXPECT_EQ(RunOrder(all, 13, 13), all);
    std::vector<PhotoPair> tiled = RunOrder(all, 13, 4);
    // Groups of 2: tile (0, 0) holds (0, 1), tile (0, 1) (0, 2) to (1, 3), then (0, 4).
    EXPECT_EQ(tiled[4], PhotoPair(1, 3));
    EXPECT_EQ(tiled[5], PhotoPair(0, 4));
    std::sort(tiled.begin(), tiled.end());
    EXPECT_EQ(tiled, all);
}

// The cache parses a file once while it fits, drops the least recently used file that no
// pair holds, and never one in use.
TEST(KeyCache, KeepsWithinItsLimitButNeverDropsAFileInUse) {
    TempDir dir;
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        files.push_back(dir.Write(std::to_string(k) + ".key", scene::MakeKeyFile(50, 128, k)));
    }
    files.push_back(dir.File("missing.key"));
    std::string problem;
    KeyCache probe(files, 0);
    const std::size_t one = KeyCache::BytesOf(*probe.Get(0, problem));

    KeyCache cache(files, 2 * one);
    auto a = cache.Get(0, problem);
    cache.Get(1, problem);
    cache.Get(0, problem);
    EXPECT_EQ(cache.Statistics().parses, 2u);
    cache.Get(2, problem);  // drops 1, the least recent, not 0 (in use)
    EXPECT_EQ(cache.Get(0, problem), a);
    EXPECT_EQ(cache.Statistics().parses, 3u);
    cache.Get(1, problem);
    EXPECT_EQ(cache.Statistics().parses, 4u);
    EXPECT_LE(cache.Statistics().peak_bytes, 3 * one);

    EXPECT_EQ(cache.Get(3, problem), nullptr);
    EXPECT_NE(problem.find("missing.key: cannot open: "), std::string::npos) << problem;
}

}  // namespace
}  // namespace block
