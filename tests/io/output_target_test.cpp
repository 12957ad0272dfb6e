// Which existing files a program may replace with an output: recognised by content, never
// by name; read-only files and folders refused whatever the kind.
#include "io/output_target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace {

using io::ContentKind;
using io::OutputKind;
using test_support::CaseName;
using test_support::TempDir;

struct ContentCase {
    const char* name;
    std::string head;
    ContentKind kind;
};

class RecogniseContentTest : public testing::TestWithParam<ContentCase> {};

TEST_P(RecogniseContentTest, ByTheFirstBytes) {
    EXPECT_EQ(io::RecogniseContent(GetParam().head).kind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Heads, RecogniseContentTest,
    testing::Values(
        ContentCase{"Empty", "", ContentKind::empty},
        ContentCase{"Blanks", " \n\t", ContentKind::empty},
        ContentCase{"Jpeg", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), ContentKind::image},
        ContentCase{"Png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), ContentKind::image},
        ContentCase{"TiffLittleEndian", std::string("II*\0\x08\0\0\0", 8), ContentKind::image},
        ContentCase{"WebP", std::string("RIFF\x24\x10\0\0WEBPVP8 ", 16), ContentKind::image},
        ContentCase{"RiffWave", std::string("RIFF\x24\x10\0\0WAVEfmt ", 16), ContentKind::binary},
        ContentCase{"Pgm", "P5\n640 480\n255\n", ContentKind::image},
        ContentCase{"KeypointHeader", "1200 128\n12.5 3.25 1.7 0.5\n", ContentKind::keypoints},
        ContentCase{"EmptyKeypointFile", "0 128\n", ContentKind::keypoints},
        ContentCase{"OneNumber", "1200\n", ContentKind::text},
        ContentCase{"TextLikeATiffPrefix", "MMM notes\n", ContentKind::text},
        ContentCase{"Json", "\xEF\xBB\xBF  {\"outcome\": \"oriented\"}", ContentKind::json},
        ContentCase{"JsonLines", "[1, 2]\n", ContentKind::json},
        ContentCase{"Csv", "match,row1_px,col1_px\n1,2,3\n", ContentKind::csv},
        ContentCase{"SvgWithDeclaration", "<?xml version=\"1.0\"?>\n<svg xmlns=\"x\">",
                    ContentKind::svg},
        ContentCase{"Html", "<!DOCTYPE html><html>", ContentKind::markup},
        ContentCase{"Prose", "notes on the flight\n", ContentKind::text},
        ContentCase{"CameraFile", "# 4000 x 3000, 4 um\n\nfocal_length_px\t= 6000\n",
                    ContentKind::camera},
        ContentCase{"OnlyComments", "# focal_length_mm = 24\n", ContentKind::text},
        ContentCase{"ProseWithEquals", "a note = b\n", ContentKind::text},
        ContentCase{"Binary", std::string("\177ELF\x02\x01\x01\0", 8), ContentKind::binary}),
    CaseName());

struct TargetCase {
    const char* name;
    std::string existing;  // content of the existing file; "(none)" for no file
    OutputKind kind;
    bool force;
    const char* refusal;  // part of the reason; nullptr when the output may be written
};

class CheckOutputTargetTest : public testing::TestWithParam<TargetCase> {};

TEST_P(CheckOutputTargetTest, RefusesOnlyAnotherKindUnlessForced) {
    const TargetCase& c = GetParam();
    TempDir dir;
    const std::string path =
        c.existing == "(none)" ? dir.File("out") : dir.Write("out", c.existing);
    const std::optional<io::FileError> error = io::CheckOutputTarget(path, c.kind, c.force);
    if (c.refusal == nullptr) {
        EXPECT_FALSE(error) << error->Message();
    } else {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->file, path);
        EXPECT_NE(error->Message().find(c.refusal), std::string::npos) << error->Message();
    }
}

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE1\0\x10", 6) + "Exif";

INSTANTIATE_TEST_SUITE_P(
    Files, CheckOutputTargetTest,
    testing::Values(  // kept: new, empty or of the output's kind; else refused unless forced
        TargetCase{"NewFile", "(none)", OutputKind::keypoints, false, nullptr},
        TargetCase{"EmptyFile", "", OutputKind::json, false, nullptr},
        TargetCase{"SameKind", "10 128\n", OutputKind::keypoints, false, nullptr},
        TargetCase{"Photograph", kJpeg, OutputKind::keypoints, false,
                   "cannot write: it holds a JPEG image, not a keypoint file (--force"},
        TargetCase{"PhotographForced", kJpeg, OutputKind::keypoints, true, nullptr},
        TargetCase{"KeypointsAsJson", "10 128\n", OutputKind::json, false,
                   "it holds a keypoint file, not a JSON document"},
        TargetCase{"JsonAsCsv", "{}", OutputKind::csv, false, "not a CSV table"},
        TargetCase{"SvgKept", "<svg width=\"1\"/>", OutputKind::svg, false, nullptr},
        TargetCase{"CameraKept", "k1 = 0\n", OutputKind::camera, false, nullptr},
        TargetCase{"CalibrationAsCamera", "%YAML:1.0\n", OutputKind::camera, false,
                   "not a camera file"}),
    CaseName());

TEST(CheckOutputTarget, RefusesReadOnlyFilesFoldersAndMissingFoldersEvenWhenForced) {
    TempDir dir;
    const std::string read_only = dir.Write("old.key", "10 128\n");
    ::chmod(read_only.c_str(), 0444);
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {read_only, "the file is read-only"},
        {dir.path().string(), "Is a directory"},
        {dir.File("missing/out.key"), "cannot make a file in"},
    };
    for (const auto& c : cases) {
        const std::optional<io::FileError> error =
            io::CheckOutputTarget(c.path, OutputKind::keypoints, true);
        ASSERT_TRUE(error) << c.path;
        EXPECT_NE(error->Message().find(c.reason), std::string::npos) << error->Message();
    }
    EXPECT_FALSE(io::CheckOutputTarget("/dev/null", OutputKind::json, false));
    EXPECT_FALSE(io::CheckOutputTarget("-", OutputKind::json, false));
}

TEST(IsStandardOutput, DashAndWhatDescriptorOneNames) {
    EXPECT_TRUE(io::IsStandardOutput("-"));
    EXPECT_TRUE(io::IsStandardOutput("/dev/stdout"));
    EXPECT_TRUE(io::IsStandardOutput("/proc/self/fd/1"));
    TempDir dir;
    EXPECT_FALSE(io::IsStandardOutput(dir.Write("out.json", "{}")));
    EXPECT_FALSE(io::IsStandardOutput(dir.File("missing.json")));
}

}  // namespace
