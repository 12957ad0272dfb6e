// ReadKeyFile, the reader `relative` runs: its out-values, and every failure ending the
// process through FatalError with the message of the keypoints library's status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keypoints/key_file.h"
#include "relative/utils.h"
#include "testing/case_name.h"
#include "testing/keypoint_files.h"
#include "testing/temp_dir.h"

namespace {

using scene::SiftLikeKeyFile;
using test_support::CaseName;
using test_support::TempDir;

struct FatalCase {
    const char* name;
    const char* content;
    const char* message;  // regex of the whole standard error text
};

class ReadKeyFileFatalTest : public testing::TestWithParam<FatalCase> {};

TEST_P(ReadKeyFileFatalTest, EndsWithStatusOneAndTheMessage) {
    const FatalCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.Write("k.key", c.content);
    int num = 0;
    int dims = 0;
    EXPECT_EXIT(ReadKeyFile(path.c_str(), &num, &dims), testing::ExitedWithCode(1),
                std::string("^Error: ") + c.message + "\n$");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadKeyFileFatalTest,
    testing::Values(
        FatalCase{"empty_file", "", "Invalid keypoint file beginning\\."},
        FatalCase{"one_integer", "7", "Invalid keypoint file beginning\\."},
        FatalCase{"truncated_entry", "3 1\n1 2 3 4 5\n1 2 3 4 5",
                  "Invalid keypoint file format\\."},
        FatalCase{"short_descriptor", "1 3\n1 2 3 4 5", "Invalid keypoint file value\\."},
        FatalCase{"word_in_descriptor", "1 2\n1 2 3 4 5 x", "Invalid keypoint file value\\."}),
    CaseName());

TEST(FatalError, PrefixesFormatsAndEndsTheLine) {
    EXPECT_EXIT(FatalError("value %d of %s", 3, "x"), testing::ExitedWithCode(1),
                "^Error: value 3 of x\n$");
}

TEST(ReadKeyFile, MissingAndUnreadableFiles) {
    TempDir dir;
    const std::string missing = dir.File("none.key");
    int num = 0;
    int dims = 0;
    EXPECT_EXIT(ReadKeyFile(missing.c_str(), &num, &dims), testing::ExitedWithCode(1),
                "^Error: Could not open file: " + missing + "\n$");
    EXPECT_EXIT(ReadKeyFile(dir.path().c_str(), &num, &dims), testing::ExitedWithCode(1),
                "^Error: Could not read file: ");
}

TEST(ReadKeyFile, ReturnsTheKeysAndHeader) {
    TempDir dir;
    const std::string text = SiftLikeKeyFile(12, 128, 6);
    const std::string path = dir.Write("k.key", text);
    int num = 0;
    int dims = 0;
    const KeypointList keys = ReadKeyFile(path.c_str(), &num, &dims);
    EXPECT_EQ(num, 12);
    EXPECT_EQ(dims, 128);
    const keypoints::KeyFileParse want = keypoints::ParseKeyText(text);
    ASSERT_EQ(keys.size(), want.keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].row, want.keys[i].row);
        EXPECT_EQ(keys[i].descrip, want.keys[i].descrip);
    }
}

}  // namespace
