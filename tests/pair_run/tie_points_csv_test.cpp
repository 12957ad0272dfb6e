// The tie-point CSV reader: the forms it accepts and every refusal, named by file and line.
#include "pair_run/tie_points_csv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::TempDir;

constexpr double kNone = NAN;

struct Row {
    double row1, col1, row2, col2, ratio;
};

struct CsvCase {
    std::string name;
    std::string text;
    std::vector<Row> points;  // when accepted
    std::string error;        // when refused: the whole message
};

class TiePointsCsvTest : public testing::TestWithParam<CsvCase> {};

TEST_P(TiePointsCsvTest, AcceptsOrRefusesNamingTheLine) {
    const CsvCase& c = GetParam();
    const auto parsed = pair_run::ParseTiePointsCsv(c.text, "ties.csv");
    if (!c.error.empty()) {
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
        EXPECT_EQ(std::get<std::string>(parsed), c.error);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<std::vector<ro::TiePoint>>(parsed))
        << std::get<std::string>(parsed);
    const auto& points = std::get<std::vector<ro::TiePoint>>(parsed);
    ASSERT_EQ(points.size(), c.points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        const ro::TiePoint& p = points[k];
        const Row& e = c.points[k];
        EXPECT_EQ(p.row1_px, e.row1);
        EXPECT_EQ(p.col1_px, e.col1);
        EXPECT_EQ(p.row2_px, e.row2);
        EXPECT_EQ(p.col2_px, e.col2);
        if (std::isnan(e.ratio)) {
            EXPECT_TRUE(std::isnan(p.ratio)) << p.ratio;
        } else {
            EXPECT_EQ(p.ratio, e.ratio);
        }
        EXPECT_EQ(p.key1, -1);
        EXPECT_EQ(p.key2, -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TiePointsCsvTest,
    testing::Values(
        CsvCase{"plain",
                "row1,col1,row2,col2\n1,2,3,4\n5.5,6e1,0,-0.5\n",
                {{1, 2, 3, 4, kNone}, {5.5, 60, 0, -0.5, kNone}},
                ""},
        CsvCase{"columns_by_name_any_order_case_and_blanks",
                "\xEF\xBB\xBF# from a matcher\r\n\r\nScore, COL2 ,row2,col1,row1\r\n"
                "0.9, 4 ,3,2,+1\r\n  # done\n",
                {{1, 2, 3, 4, kNone}},
                ""},
        CsvCase{"points_csv_read_back",
                "match,row1,col1,row2,col2,x1_um,y1_um,x2_um,y2_um,ratio,status,sampson_px,"
                "y_parallax_px,w,redundancy,mdb_px\n"
                "0,10.000,20.000,30.000,40.000,1,2,3,4,0.5000,inlier,0.1,0.1,1.0,0.9,3.0\n"
                "1,1.000,2.000,3.000,4.000,1,2,3,4,,ransac_outlier,9,9,,,\n",
                {{10, 20, 30, 40, 0.5}, {1, 2, 3, 4, kNone}},
                ""},
        CsvCase{"header_only_no_final_newline", "row1,col1,row2,col2", {}, ""},
        CsvCase{"empty", "", {}, "ties.csv: empty file"},
        CsvCase{"only_comments",
                "# nothing\n\n",
                {},
                "ties.csv: no header line, only comments and blank lines"},
        CsvCase{"column_missing",
                "row1,col1,row2,c2\n1,2,3,4\n",
                {},
                "ties.csv:1: no column 'col2' in the header"},
        CsvCase{"no_header", "\n1,2,3,4\n", {}, "ties.csv:2: no column 'row1' in the header"},
        CsvCase{"column_twice",
                "row1,col1,row2,col2,ROW1\n",
                {},
                "ties.csv:1: column 'row1' appears twice in the header"},
        CsvCase{"too_few_fields",
                "row1,col1,row2,col2,x\n1,2,3,4,5\n1,2,3\n",
                {},
                "ties.csv:3: 3 fields where the header has 5"},
        CsvCase{"trailing_comma",
                "row1,col1,row2,col2\n1,2,3,4,\n",
                {},
                "ties.csv:2: 5 fields where the header has 4"},
        CsvCase{"word",
                "row1,col1,row2,col2\n#\n\n\n\n\nabc,2,3,4\n",
                {},
                "ties.csv:7: 'abc' is not a number in column row1"},
        CsvCase{"empty_coordinate",
                "row1,col1,row2,col2\n1,2,,4\n",
                {},
                "ties.csv:2: no value in column row2"},
        CsvCase{"two_signs",
                "row1,col1,row2,col2\n1,+-2,3,4\n",
                {},
                "ties.csv:2: '+-2' is not a number in column col1"},
        CsvCase{"hexadecimal",
                "row1,col1,row2,col2\n1,2,0x3,4\n",
                {},
                "ties.csv:2: '0x3' is not a number in column row2"},
        CsvCase{"long_field_cut",
                "row1,col1,row2,col2\n1,2,3," + std::string(50, 'x') + "\n",
                {},
                "ties.csv:2: '" + std::string(40, 'x') + "...' is not a number in column col2"},
        CsvCase{"infinite",
                "row1,col1,row2,col2\n1,inf,3,4\n",
                {},
                "ties.csv:2: 'inf' is not a finite number in column col1"},
        CsvCase{"nan",
                "row1,col1,row2,col2\nnan,2,3,4\n",
                {},
                "ties.csv:2: 'nan' is not a finite number in column row1"},
        CsvCase{"beyond_double",
                "row1,col1,row2,col2\n1,2,3,1e999\n",
                {},
                "ties.csv:2: '1e999' is out of range in column col2"},
        CsvCase{"negative",
                "row1,col1,row2,col2\n-3,2,3,4\n",
                {},
                "ties.csv:2: '-3' in column row1 is outside the photograph (pixels from -0.5 to "
                "1000000)"},
        CsvCase{"too_far",
                "row1,col1,row2,col2\n1,2,1000001,4\n",
                {},
                "ties.csv:2: '1000001' in column row2 is outside the photograph (pixels from "
                "-0.5 to 1000000)"},
        CsvCase{"ratio_above_one",
                "ratio,row1,col1,row2,col2\n1.5,1,2,3,4\n",
                {},
                "ties.csv:2: '1.5' in column ratio is not a distance ratio in [0, 1]"}),
    CaseName());

TEST(TiePointsCsv, ReadsFilesNamingThemInMessages) {
    TempDir dir;
    const std::string good = dir.Write("good.csv", "row1,col1,row2,col2\n1,2,3,4\n");
    const auto read = pair_run::ReadTiePointsCsv(good);
    ASSERT_TRUE(std::holds_alternative<std::vector<ro::TiePoint>>(read));
    EXPECT_EQ(std::get<std::vector<ro::TiePoint>>(read).size(), 1u);
    const auto missing = pair_run::ReadTiePointsCsv(dir.File("missing.csv"));
    EXPECT_EQ(std::get<std::string>(missing),
              dir.File("missing.csv") + ": cannot open: No such file or directory");
}

}  // namespace
