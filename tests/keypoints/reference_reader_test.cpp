// The keypoint reader: the number-reading rule, the header, entries, and every failure.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "keypoints/key_file.h"
#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace keypoints {
namespace {

using test_support::CaseName;

struct ParseCase {
    const char* name;
    std::string text;
    KeyFileStatus status;
    int numfeatures;  // expected header values (unchecked when the header fails)
    int dimensions;
    std::size_t keys;  // complete entries read
};

class ParseKeyTextTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseKeyTextTest, StatusHeaderAndEntries) {
    const ParseCase& c = GetParam();
    const KeyFileParse parsed = ParseKeyText(c.text);
    EXPECT_EQ(parsed.status, c.status);
    if (c.status != KeyFileStatus::bad_beginning) {
        EXPECT_EQ(parsed.numfeatures, c.numfeatures);
        EXPECT_EQ(parsed.dimensions, c.dimensions);
    }
    EXPECT_EQ(parsed.keys.size(), c.keys);
    for (const KeypointSt& k : parsed.keys) {
        EXPECT_EQ(k.descrip.size(), static_cast<std::size_t>(std::max(0, c.dimensions)));
    }
}

using S = KeyFileStatus;
INSTANTIATE_TEST_SUITE_P(
    Table, ParseKeyTextTest,
    testing::Values(ParseCase{"header_only_zero_keys", "0 128", S::ok, 0, 128, 0},
                    ParseCase{"negative_count_is_empty", "-5 3\n1 2 3 4", S::ok, -5, 3, 0},
                    ParseCase{"descriptor_length_zero", "2 0\n1 2 3 4\n5 6 7 8", S::ok, 2, 0, 2},
                    ParseCase{"negative_length_gives_empty_descriptors", "2 -4\n1 2 3 4 5 6 7 8",
                              S::ok, 2, -4, 2},
                    ParseCase{"all_on_one_line", "2 2 1 2 3 4 5 6 1 2 3 4 7 8", S::ok, 2, 2, 2},
                    ParseCase{"crlf_line_ends", "1 2\r\n1 2 3 4\r\n5 6\r\n", S::ok, 1, 2, 1},
                    ParseCase{"trailing_data_ignored", "1 1\n1 2 3 4 5 six seven", S::ok, 1, 1, 1},
                    ParseCase{"extra_entries_ignored", "1 1\n1 2 3 4 5\n1 2 3 4 5", S::ok, 1, 1, 1},
                    ParseCase{"empty_file", "", S::bad_beginning, 0, 0, 0},
                    ParseCase{"whitespace_only", " \n\t\r\n", S::bad_beginning, 0, 0, 0},
                    ParseCase{"single_integer", "5", S::bad_beginning, 0, 0, 0},
                    ParseCase{"word_header", "keys 128", S::bad_beginning, 0, 0, 0},
                    ParseCase{"count_beyond_int", "3000000000 2", S::bad_beginning, 0, 0, 0},
                    ParseCase{"length_beyond_int", "1 2147483648", S::bad_beginning, 0, 0, 0},
                    ParseCase{"fewer_entries_than_announced", "3 1\n1 2 3 4 5\n1 2 3 4 5",
                              S::bad_format, 3, 1, 2},
                    ParseCase{"three_reals_only", "1 0\n1 2 3", S::bad_format, 1, 0, 0},
                    ParseCase{"word_for_a_real", "1 0\n1 2 x 4", S::bad_format, 1, 0, 0},
                    ParseCase{"dangling_exponent_leaves_e", "1 0\n1e 2 3 4", S::bad_format, 1, 0,
                              0},
                    ParseCase{"nul_byte_stops_reading", std::string("1 0\n1 2\0 3 4", 12),
                              S::bad_format, 1, 0, 0},
                    ParseCase{"descriptor_short_at_eof", "1 3\n1 2 3 4 5 6", S::bad_value, 1, 3, 0},
                    ParseCase{"word_for_a_value", "1 2\n1 2 3 4 5 word", S::bad_value, 1, 2, 0},
                    ParseCase{"fraction_leaves_point_for_next_value", "1 2\n1 2 3 4 12.5 6",
                              S::bad_value, 1, 2, 0},
                    ParseCase{"value_beyond_int", "1 1\n1 2 3 4 2147483648", S::bad_value, 1, 1, 0},
                    ParseCase{"huge_count_small_file", "2000000000 128\n1 2 3 4 5", S::bad_value,
                              2000000000, 128, 0},
                    ParseCase{"huge_length_small_file", "1 2000000000\n1 2 3 4 5 6", S::bad_value,
                              1, 2000000000, 0}),
    CaseName());

TEST(ParseKeyText, StoresEveryFieldInFileOrder) {
    const KeyFileParse parsed = ParseKeyText(
        "2 3\n10.5 20.25 1.5 -0.5\n0 12 255\n"
        "1 2 3 4 -3 1000 +7\n");
    ASSERT_EQ(parsed.status, KeyFileStatus::ok);
    ASSERT_EQ(parsed.keys.size(), 2u);
    EXPECT_EQ(parsed.keys[0].row, 10.5f);
    EXPECT_EQ(parsed.keys[0].col, 20.25f);
    EXPECT_EQ(parsed.keys[0].scale, 1.5f);
    EXPECT_EQ(parsed.keys[0].ori, -0.5f);
    EXPECT_EQ(parsed.keys[0].descrip, (std::vector<int>{0, 12, 255}));
    EXPECT_EQ(parsed.keys[1].descrip, (std::vector<int>{-3, 1000, 7}));
}

TEST(ParseKeyText, FractionalValueLeavesRestForTheNextEntry) {
    // "12.5" as a descriptor value reads 12; ".5" then starts the next entry's row.
    const KeyFileParse parsed = ParseKeyText("2 1\n1 2 3 4 12.5 6 7 8 9");
    ASSERT_EQ(parsed.status, KeyFileStatus::ok);
    ASSERT_EQ(parsed.keys.size(), 2u);
    EXPECT_EQ(parsed.keys[0].descrip[0], 12);
    EXPECT_EQ(parsed.keys[1].row, 0.5f);
    EXPECT_EQ(parsed.keys[1].col, 6.0f);
    EXPECT_EQ(parsed.keys[1].descrip[0], 9);
}

TEST(ParseKeyText, RealsConvertAndRoundLikeStrtof) {
    const KeyFileParse parsed = ParseKeyText("2 0\ninf -nan 0x1p3 1e3\n0.1 16777217 3.5e38 1e-50");
    ASSERT_EQ(parsed.status, KeyFileStatus::ok);
    ASSERT_EQ(parsed.keys.size(), 2u);
    EXPECT_TRUE(std::isinf(parsed.keys[0].row));
    EXPECT_TRUE(std::isnan(parsed.keys[0].col));
    EXPECT_EQ(parsed.keys[0].scale, 8.0f);
    EXPECT_EQ(parsed.keys[0].ori, 1000.0f);
    EXPECT_EQ(parsed.keys[1].row, 0.1f);
    EXPECT_EQ(parsed.keys[1].col, 16777216.0f);  // nearest float
    EXPECT_EQ(parsed.keys[1].scale, std::numeric_limits<float>::infinity());
    EXPECT_EQ(parsed.keys[1].ori, 0.0f);
}

TEST(ParseKeyText, IntegerRangeEdgesAreValid) {
    const KeyFileParse parsed = ParseKeyText("1 2\n1 2 3 4 2147483647 -2147483648");
    ASSERT_EQ(parsed.status, KeyFileStatus::ok);
    EXPECT_EQ(parsed.keys[0].descrip, (std::vector<int>{2147483647, -2147483647 - 1}));
}

}  // namespace
}  // namespace keypoints
