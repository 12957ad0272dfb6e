// Which output would write over which input: through other spellings of a path, links,
// and for files still to be made.
#include "io/file_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using test_support::CaseName;
using test_support::TempDir;

struct OverwriteCase {
    const char* name;
    std::function<void(const TempDir&)> setup;
    std::string output;  // {D} stands for the scratch folder
    std::string input;
    bool overwrites;
};

std::string InDir(std::string path, const TempDir& dir) {
    if (const std::size_t at = path.find("{D}"); at != std::string::npos) {
        path.replace(at, 3, dir.path().string());
    }
    return path;
}

class WouldOverwriteTest : public testing::TestWithParam<OverwriteCase> {};

TEST_P(WouldOverwriteTest, ByIdentityOrByPlace) {
    const OverwriteCase& c = GetParam();
    TempDir dir;
    c.setup(dir);
    const std::string output = InDir(c.output, dir);
    const std::string input = InDir(c.input, dir);
    EXPECT_EQ(io::WouldOverwrite(output, input), c.overwrites);
    // The identity of an input read earlier answers the same for existing files.
    if (const std::optional<io::FileIdentity> read = io::IdentifyFile(input, 0)) {
        EXPECT_EQ(io::WouldOverwrite(output, *read), c.overwrites);
    }
}

void TwoFiles(const TempDir& dir) {
    dir.Write("a.key", "1 2\n");
    dir.Write("b.key", "1 2\n");
}

void WithLinks(const TempDir& dir) {
    TwoFiles(dir);
    fs::create_symlink("a.key", dir.File("soft.key"));
    fs::create_hard_link(dir.File("a.key"), dir.File("hard.key"));
    fs::create_directory(dir.path() / "sub");
}

void Nothing(const TempDir&) {}

INSTANTIATE_TEST_SUITE_P(
    Table, WouldOverwriteTest,
    testing::Values(
        OverwriteCase{"other_file", TwoFiles, "{D}/a.key", "{D}/b.key", false},
        OverwriteCase{"other_spelling", WithLinks, "{D}/sub/../a.key", "{D}/./a.key", true},
        OverwriteCase{"symbolic_link", WithLinks, "{D}/soft.key", "{D}/a.key", true},
        OverwriteCase{"hard_link", WithLinks, "{D}/hard.key", "{D}/a.key", true},
        OverwriteCase{"output_still_to_be_made", TwoFiles, "{D}/new.key", "{D}/a.key", false},
        OverwriteCase{"both_to_be_made_same_place", Nothing, "{D}/x/../o.txt", "{D}/o.txt", true},
        OverwriteCase{"same_device", Nothing, "/dev/null", "/dev/null", false},
        OverwriteCase{"folder", Nothing, "{D}", "{D}", false}),
    CaseName());

}  // namespace
