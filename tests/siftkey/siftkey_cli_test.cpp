// The built siftkey program: its command line, what it writes and says on success, and
// every failure with its message and status. Keypoint files are checked with the
// project's reader, and featsheet converts them. --camera's photographs are JPEG files with
// an EXIF segment made by libexif spliced in; the camera files are read back with the
// camera-file parser.
#include <gtest/gtest.h>
#include <libexif/exif-data.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "keypoints/key_file.h"
#include "testing/case_name.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "tests/siftkey/synthetic_images.h"

namespace fs = std::filesystem;

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

const std::string kHint = "Try 'siftkey --help' for more information.\n";

bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }
bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

ProgramResult Siftkey(const std::vector<std::string>& args) {
    return RunProgram(SIFTKEY_PROGRAM, args, 120.0);
}

std::string WriteImage(const TempDir& dir, const std::string& name, const cv::Mat& image) {
    const std::string file = dir.File(name);
    cv::imwrite(file, image);
    return file;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> options;  // given before IMAGE OUT.key, or alone when `alone`
    bool alone;
    const char* says;  // the first line of standard error
};

class UsageTest : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, Status2PointsToHelpAndWritesNothing) {
    const UsageCase& c = GetParam();
    TempDir dir;
    const std::string image = WriteImage(dir, "in.png", GaussianBlob(40, 40, 20, 20, 3));
    std::vector<std::string> args = c.options;
    if (!c.alone) {
        args.push_back(image);
        args.push_back(dir.File("out.key"));
    }
    const ProgramResult r = Siftkey(args);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("siftkey: ") + c.says + "\n" + kHint);
    EXPECT_FALSE(fs::exists(dir.File("out.key")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsageTest,
    testing::Values(
        UsageCase{"no_argument", {}, true, "IMAGE is required"},
        UsageCase{"one_argument", {"a.jpg"}, true, "OUT.key is required"},
        UsageCase{"three_arguments",
                  {"a.jpg", "b.key", "c"},
                  true,
                  "The following argument was not expected: c"},
        UsageCase{"unknown_option",
                  {"--bogus"},
                  false,
                  "The following argument was not expected: --bogus"},
        UsageCase{"max_zero",
                  {"--max", "0"},
                  false,
                  "--max: '0' is not a whole number from 1 to 1073741824"},
        UsageCase{"max_negative",
                  {"--max", "-3"},
                  false,
                  "--max: '-3' is not a whole number from 1 to 1073741824"},
        UsageCase{"max_word",
                  {"--max", "many"},
                  false,
                  "--max: 'many' is not a whole number from 1 to 1073741824"},
        UsageCase{"max_fraction",
                  {"--max", "1.5"},
                  false,
                  "--max: '1.5' is not a whole number from 1 to 1073741824"},
        UsageCase{"max_huge",
                  {"--max", "99999999999999999999"},
                  false,
                  "--max: '99999999999999999999' is not a whole number from 1 to 1073741824"},
        UsageCase{"max_empty", {"--max", ""}, false, "--max: the value is empty"},
        UsageCase{"max_pixels_zero",
                  {"--max-pixels", "0"},
                  false,
                  "--max-pixels: '0' is not a whole number from 1 to 18446744073709551615"},
        UsageCase{"max_size_above_limit",
                  {"--max-size", "1048577"},
                  false,
                  "--max-size: '1048577' is not a whole number from 0 to 1048576"},
        UsageCase{"camera_empty", {"--camera", ""}, false, "--camera: the file name is empty"},
        UsageCase{"max_twice",
                  {"--max", "5", "--max", "6"},
                  false,
                  "--max: At Most 1 required but received 2"},
        UsageCase{"threads_zero",
                  {"--threads", "0"},
                  false,
                  "--threads: '0' is not a whole number from 1 to 256"},
        UsageCase{"image_empty", {"", "out.key"}, true, "IMAGE: the file name is empty"},
        UsageCase{"output_empty", {"in.png", ""}, true, "OUT.key: the file name is empty"},
        UsageCase{"contrast_nan",
                  {"--contrast-threshold", "nan"},
                  false,
                  "--contrast-threshold: 'nan' is not a finite number"},
        UsageCase{"contrast_inf",
                  {"--contrast-threshold", "inf"},
                  false,
                  "--contrast-threshold: 'inf' is not a finite number"},
        UsageCase{"contrast_overflow",
                  {"--contrast-threshold", "1e999"},
                  false,
                  "--contrast-threshold: '1e999' is not a finite number"},
        UsageCase{"contrast_negative",
                  {"--contrast-threshold", "-0.1"},
                  false,
                  "--contrast-threshold: '-0.1' is below 0"},
        UsageCase{"contrast_trailing",
                  {"--contrast-threshold", "0.04x"},
                  false,
                  "--contrast-threshold: '0.04x' is not a finite number"},
        UsageCase{"contrast_empty",
                  {"--contrast-threshold", ""},
                  false,
                  "--contrast-threshold: the value is empty"},
        UsageCase{"edge_below_one",
                  {"--edge-threshold", "0.5"},
                  false,
                  "--edge-threshold: '0.5' is below 1"},
        UsageCase{
            "value_missing", {"a.jpg", "b.key", "--max"}, true, "--max: 1 required N missing"},
        UsageCase{"upright_with_value",
                  {"--upright=maybe"},
                  false,
                  "Could not convert: --upright = maybe"}),
    CaseName());

TEST(SiftkeyCliTest, HelpAndVersionGoToStandardOutput) {
    const ProgramResult help = Siftkey({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_NE(help.out.find("Usage: siftkey [OPTIONS] IMAGE OUT.key"), std::string::npos);
    EXPECT_EQ(Siftkey({"-h"}).out, help.out);
    const ProgramResult version = Siftkey({"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_TRUE(StartsWith(version.out, "siftkey (relative-orientation) " RO_PROJECT_VERSION "\n"))
        << version.out;
}

class SiftkeyRunTest : public testing::Test {
  protected:
    SiftkeyRunTest() : image_(WriteImage(dir_, "scene.png", RandomBlobs(200, 150, 80, 3))) {}
    TempDir dir_;
    std::string image_;
};

TEST_F(SiftkeyRunTest, WritesAFileTheReaderAcceptsAndSaysHowMany) {
    const std::string out = dir_.File("scene.key");
    const ProgramResult r = Siftkey({image_, out});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const keypoints::KeyFileParse parsed = keypoints::ParseKeyText(ReadFileBytes(out));
    ASSERT_EQ(parsed.status, keypoints::KeyFileStatus::ok);
    ASSERT_GT(parsed.numfeatures, 50);
    EXPECT_EQ(parsed.dimensions, 128);
    EXPECT_EQ(parsed.keys.size(), static_cast<std::size_t>(parsed.numfeatures));
    for (const KeypointSt& k : parsed.keys) {
        EXPECT_TRUE(k.row >= 0 && k.row <= 149 && k.col >= 0 && k.col <= 199);
        for (int v : k.descrip) EXPECT_TRUE(v >= 0 && v <= 255) << v;
    }
    EXPECT_EQ(r.err, "siftkey: " + image_ +
                         " (200 x 150 pixels): " + std::to_string(parsed.numfeatures) +
                         " keypoints written to " + out + "\n");

    const ProgramResult csv = RunProgram(FEATSHEET_PROGRAM, {out, dir_.File("scene.csv")});
    EXPECT_EQ(csv.exit_status, 0) << csv.out;
}

TEST_F(SiftkeyRunTest, SameBytesWithOneOrTwoThreads) {
    ASSERT_EQ(Siftkey({"--threads", "1", image_, dir_.File("one.key")}).exit_status, 0);
    ASSERT_EQ(Siftkey({"--threads", "2", image_, dir_.File("two.key")}).exit_status, 0);
    EXPECT_EQ(ReadFileBytes(dir_.File("one.key")), ReadFileBytes(dir_.File("two.key")));
}

// --max N computes descriptors for N keypoints only, and its file is the header "N 128"
// and the first N records of the full file, byte for byte (a record is 8 lines).
TEST_F(SiftkeyRunTest, MaxKeepsTheFirstEntriesOfTheFullFile) {
    for (const std::string upright : {"--upright=false", "--upright=true"}) {
        ASSERT_EQ(Siftkey({upright, image_, dir_.File("all.key")}).exit_status, 0);
        const std::string all = ReadFileBytes(dir_.File("all.key"));
        const std::size_t count = std::stoul(all), body = all.find('\n');
        for (const std::size_t n : {std::size_t{1}, std::size_t{7}, count / 2, count - 1}) {
            const std::string max = "--max=" + std::to_string(n);
            ASSERT_EQ(Siftkey({upright, max, image_, dir_.File("n.key")}).exit_status, 0);
            std::size_t end = body;
            for (std::size_t line = 0; line < 8 * n; ++line) end = all.find('\n', end + 1);
            EXPECT_EQ(ReadFileBytes(dir_.File("n.key")),
                      std::to_string(n) + " 128" + all.substr(body, end - body + 1))
                << upright << " " << max;
        }
    }
}

// More threads than the machine has run as many as it has: standard error holds siftkey's
// own line only, no thread library's warning.
TEST_F(SiftkeyRunTest, ManyThreadsGiveOnlySiftkeysLine) {
    const ProgramResult r = Siftkey({"--threads", "256", image_, dir_.File("many.key")});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_TRUE(StartsWith(r.err, "siftkey: " + image_ + " (200 x 150 pixels): ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(SiftkeyRunTest, OutputMayNotBeTheImage) {
    const std::string before = ReadFileBytes(image_);
    const std::string hard_link = dir_.File("scene.key");
    fs::create_hard_link(image_, hard_link);
    for (const std::string& out : {image_, hard_link}) {
        const ProgramResult r = Siftkey({image_, out});
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "siftkey: cannot write " + out + ": it is the input image\n");
        EXPECT_EQ(ReadFileBytes(image_), before);
    }
}

// "-" reads the image from standard input and writes the keypoints to standard output,
// each named so in the messages; the keypoints are those of the files.
TEST_F(SiftkeyRunTest, DashForStandardInputAndOutput) {
    const std::string out = dir_.File("scene.key");
    ASSERT_EQ(Siftkey({image_, out}).exit_status, 0);
    const ProgramResult piped = RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" < \"" + image_ + "\"", SIFTKEY_PROGRAM, "-", "-"},
        120.0, dir_.path().string());
    ASSERT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out, ReadFileBytes(out));
    EXPECT_TRUE(StartsWith(piped.err, "siftkey: standard input (200 x 150 pixels): ")) << piped.err;
    EXPECT_TRUE(EndsWith(piped.err, " keypoints written to standard output\n")) << piped.err;
    EXPECT_FALSE(fs::exists(dir_.File("-")));
    // Standard output opened on the image itself is refused like its name.
    const ProgramResult onto = RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" 1<>\"" + image_ + "\"", SIFTKEY_PROGRAM, image_, "-"},
        120.0);
    EXPECT_EQ(onto.exit_status, 1);
    EXPECT_EQ(onto.err, "siftkey: cannot write standard output: it is the input image\n");
}

// A featureless photograph is a valid result, not a failure: the file says "none" in the
// format, so a batch goes on and the programs that read it report too few tie points.
TEST(SiftkeyNoKeypointsTest, WritesCountZeroAndSaysSo) {
    TempDir dir;
    const std::string image =
        WriteImage(dir, "flat.jpg", cv::Mat(60, 80, CV_8UC3, cv::Scalar(90, 120, 200)));
    const std::string out = dir.File("flat.key");
    const ProgramResult r = Siftkey({image, out});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "siftkey: " + image + " (80 x 60 pixels): no keypoints found; wrote " + out +
                         " with count 0\n");
    EXPECT_EQ(ReadFileBytes(out), "0 128\n");
}

class SiftkeyFailureTest : public testing::TestWithParam<const char*> {};

// Each case: the arguments and the complete standard error; the status is 1, standard
// output empty, and no keypoint file appears or changes.
TEST_P(SiftkeyFailureTest, Status1AndAMessageNamingTheFile) {
    const std::string name = GetParam();
    TempDir dir;
    const std::string good = WriteImage(dir, "good.png", RandomBlobs(120, 100, 40, 5));
    std::string in = good;
    std::string out = dir.File("out.key");
    std::string says;
    if (name == "missing_image") {
        in = dir.File("none.jpg");
        says = "cannot read " + in + ": No such file or directory";
    } else if (name == "folder_as_image") {
        in = dir.path().string();
        says = "cannot read " + in + ": Is a directory";
    } else if (name == "empty_image") {
        in = dir.Write("empty.jpg", "");
        says = in + " is empty (0 bytes)";
    } else if (name == "text_as_image") {
        in = dir.Write("readme.png", "not a picture\n");
        says = in + " is not an image in a format siftkey reads (JPEG, PNG, TIFF, ...)";
    } else if (name == "float_samples") {
        in = dir.File("float.tif");
        cv::imwrite(in, cv::Mat(8, 8, CV_32F, cv::Scalar(0.5)));
        says = in + ": 32-bit floating-point samples are not supported (8- or 16-bit only)";
    } else if (name == "null_device_as_image") {
        in = "/dev/null";
        says = "/dev/null is empty (0 bytes)";
    } else if (name == "output_folder") {
        out = dir.path().string();
        says = "cannot write " + out + ": Is a directory";
    } else if (name == "output_in_missing_folder") {
        out = dir.File("missing/out.key");
        says = "cannot write " + out + ": cannot make a file in " + dir.File("missing") +
               ": No such file or directory";
    } else if (name == "output_full_device") {
        if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
        out = "/dev/full";
        says = "cannot write /dev/full: No space left on device";
    }
    const ProgramResult r = Siftkey({in, out});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "siftkey: " + says + "\n");
    EXPECT_FALSE(fs::exists(dir.File("out.key")));
    for (const auto& e : fs::directory_iterator(dir.path())) {
        EXPECT_FALSE(StartsWith(e.path().filename().string(), ".")) << e.path();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SiftkeyFailureTest,
                         testing::Values("missing_image", "folder_as_image", "empty_image",
                                         "text_as_image", "float_samples", "null_device_as_image",
                                         "output_folder", "output_in_missing_folder",
                                         "output_full_device"),
                         [](const testing::TestParamInfo<const char*>& p) {
                             return std::string(p.param);
                         });

// Bytes and modification time of every file in `dir`, to show which files a run changed.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Snapshot(const TempDir& dir) {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        files[e.path().string()] = {ReadFileBytes(e.path().string()), fs::last_write_time(e)};
    }
    return files;
}

std::string Encode(const char* extension, const cv::Mat& picture) {
    std::vector<unsigned char> bytes;
    cv::imencode(extension, picture, bytes);
    return {bytes.begin(), bytes.end()};
}

// A PNG signature and header claiming `side` x `side` pixels, and an empty IEND chunk.
std::string HugePng(std::uint32_t side) {
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (int k = 0; k < 2; ++k) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>(side >> shift));
    }
    return bytes + std::string("\x08\0\0\0\0\0\0\0\0\0\0\0\0IEND\xae\x42\x60\x82", 21);
}

struct RefusalCase {
    const char* name;
    const char*
        args;    // split at spaces; "IN.jpg", "IN.png", "OUT", ... stand for the scene's files
    int status;  // on 0 the last argument is the one file that may change
    const char* says;  // standard error after "siftkey: ", with the files' names
};

class SiftkeyRefusalTest : public testing::TestWithParam<RefusalCase> {};

// Outputs that would destroy a file, images cut short or too large: each refused before
// any work with status 1 and its message; only the named output ever changes.
TEST_P(SiftkeyRefusalTest, StatusMessageAndNoOtherFileChanged) {
    const RefusalCase& c = GetParam();
    TempDir dir;
    const cv::Mat picture = RandomBlobs(120, 100, 40, 5);
    std::map<std::string, std::string> files = {
        {"HUGE.png", dir.Write("huge.png", HugePng(30000))},
        {"IN.bmp", dir.Write("in.bmp", Encode(".bmp", picture))},
        {"RO.key", dir.Write("ro.key", "0 128\n")},
        {"OUT", dir.Write("out.key", "0 128\n")},
    };
    for (const std::string type : {"jpg", "png", "tif"}) {
        const std::string bytes = Encode(("." + type).c_str(), picture);
        files["IN." + type] = dir.Write("in." + type, bytes);
        files["HALF." + type] = dir.Write("half." + type, bytes.substr(0, bytes.size() / 2));
    }
    fs::permissions(files.at("RO.key"), fs::perms::owner_read | fs::perms::group_read);
    const auto named = [&](std::string text) {
        for (const auto& [key, path] : files) {
            for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
                text.replace(at, key.size(), path);
            }
        }
        return text;
    };
    std::vector<std::string> args;
    std::istringstream words(c.args);
    for (std::string word; words >> word;) args.push_back(named(word));
    const auto before = Snapshot(dir);
    const ProgramResult r = Siftkey(args);
    EXPECT_EQ(r.exit_status, c.status);
    const std::string says = named(c.says);
    if (c.status == 0) {
        EXPECT_TRUE(StartsWith(r.err, "siftkey: ") && EndsWith(r.err, says + "\n")) << r.err;
    } else {
        EXPECT_EQ(r.err, "siftkey: " + says + "\n");
        EXPECT_EQ(r.out, "");
    }
    for (const auto& [path, was] : Snapshot(dir)) {
        if (c.status == 0 && path == args.back()) continue;
        EXPECT_TRUE(before.count(path) && before.at(path) == was) << path << " changed";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiftkeyRefusalTest,
    testing::Values(
        RefusalCase{"output_is_a_photograph", "IN.jpg IN.png", 1,
                    "cannot write IN.png: it holds a PNG image, not a keypoint file (--force "
                    "replaces it)"},
        RefusalCase{"forced_over_a_photograph", "--force IN.jpg IN.png", 0,
                    " keypoints written to IN.png"},
        RefusalCase{"forced_never_over_the_input", "--force IN.jpg IN.jpg", 1,
                    "cannot write IN.jpg: it is the input image"},
        RefusalCase{"camera_is_the_keypoint_file", "--camera OUT IN.jpg OUT", 1,
                    "cannot write OUT: it is also the keypoint file"},
        RefusalCase{"camera_over_a_photograph", "--camera IN.png IN.jpg OUT", 1,
                    "cannot write IN.png: it holds a PNG image, not a camera file (--force "
                    "replaces it)"},
        RefusalCase{"camera_forced_never_over_the_input", "--force --camera IN.jpg IN.jpg OUT", 1,
                    "cannot write IN.jpg: it is the input image"},
        RefusalCase{"read_only_output", "--force IN.jpg RO.key", 1,
                    "cannot write RO.key: the file is read-only"},
        RefusalCase{"keypoint_file_replaced", "IN.jpg OUT", 0, " keypoints written to OUT"},
        RefusalCase{"dev_stdout", "IN.jpg /dev/stdout", 0, " keypoints written to /dev/stdout"},
        RefusalCase{"truncated_jpeg", "HALF.jpg OUT", 1,
                    "HALF.jpg: the image data is truncated or damaged (the JPEG data ends "
                    "before its end-of-image marker)"},
        RefusalCase{"truncated_png", "HALF.png OUT", 1,
                    "HALF.png: the image data is truncated or damaged (a PNG chunk runs past "
                    "the end of the file)"},
        RefusalCase{"truncated_tiff", "HALF.tif OUT", 1,
                    "HALF.tif: the image data is truncated or damaged (the TIFF directory lies "
                    "beyond the end of the file)"},
        RefusalCase{"huge_header", "HUGE.png OUT", 1,
                    "HUGE.png: 30000 x 30000 pixels (900 megapixels) would need about 5 GB to "
                    "detect keypoints; the limit is 150000000 pixels (--max-pixels)"},
        RefusalCase{"above_a_lower_limit", "--max-pixels 11999 IN.tif OUT", 1,
                    "IN.tif: 120 x 100 pixels (12000 pixels) would need about 3 MB to detect "
                    "keypoints; the limit is 11999 pixels (--max-pixels)"},
        RefusalCase{"above_the_limit_after_decoding", "--max-pixels 11999 IN.bmp OUT", 1,
                    "IN.bmp: 120 x 100 pixels (12000 pixels) would need about 3 MB to detect "
                    "keypoints; the limit is 11999 pixels (--max-pixels)"}),
    CaseName());

// A write that fails part-way (here at a file size limit) leaves the old file as it was
// and no temporary file behind, and is reported as a failure.
TEST_F(SiftkeyRunTest, FailedWriteKeepsTheOldFile) {
    const std::string out = dir_.Write("scene.key", "0 128\n");
    const ProgramResult r = RunProgram(
        "/bin/sh", {"-c", "ulimit -f 8 && exec \"$0\" \"$@\"", SIFTKEY_PROGRAM, image_, out},
        120.0);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "siftkey: cannot write " + out + ": File too large\n");
    EXPECT_EQ(ReadFileBytes(out), "0 128\n");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"scene.key", "scene.png"}));
}

// Photographs within --max-size are detected as they always were: the bundled key files
// come out byte for byte.
TEST(SiftkeyCliTest, BundledPhotographsGiveTheirKeyFiles) {
    TempDir dir;
    for (const char* name :
         {"stereo/left.png", "stereo/right.png", "street/leuvenA.jpg", "street/leuvenB.jpg"}) {
        const fs::path photo = RO_SOURCE_DIR "/data/real/" + std::string(name);
        const ProgramResult r = Siftkey({photo, dir.File("out.key")});
        ASSERT_EQ(r.exit_status, 0) << r.err;
        EXPECT_EQ(ReadFileBytes(dir.File("out.key")),
                  ReadFileBytes(fs::path(photo).replace_extension(".key")))
            << name;
    }
}

// Only siftkey links OpenCV.
TEST(SiftkeyCliTest, OnlySiftkeyLinksOpenCv) {
    const auto links_opencv = [](const std::string& program) {
        const ProgramResult r = RunProgram("/usr/bin/ldd", {program});
        EXPECT_EQ(r.exit_status, 0) << r.err;
        return r.out.find("libopencv") != std::string::npos;
    };
    EXPECT_TRUE(links_opencv(SIFTKEY_PROGRAM));
    EXPECT_FALSE(links_opencv(RELATIVE_PROGRAM));
    EXPECT_FALSE(links_opencv(FEATSHEET_PROGRAM));
}

const std::map<ExifTag, ExifFormat> kIntegerFormats = {
    {EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, EXIF_FORMAT_SHORT},
    {EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, EXIF_FORMAT_SHORT},
    {EXIF_TAG_PIXEL_X_DIMENSION, EXIF_FORMAT_LONG},
    {EXIF_TAG_PIXEL_Y_DIMENSION, EXIF_FORMAT_LONG}};

// The bytes of an EXIF block ("Exif\0\0" and a little-endian TIFF structure) holding the
// entries of `tags`, "Name=value;..." by the EXIF tag names: Make and Model are text in the
// first directory, the others numbers (rational, or short or long by kIntegerFormats).
std::string ExifBlock(const std::string& tags) {
    constexpr ExifByteOrder kOrder = EXIF_BYTE_ORDER_INTEL;
    ExifData* data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, kOrder);
    ExifMem* mem = exif_mem_new_default();
    std::istringstream entries(tags);
    for (std::string entry; std::getline(entries, entry, ';');) {
        const std::string value = entry.substr(entry.find('=') + 1);
        ExifEntry* e = exif_entry_new_mem(mem);
        e->tag = exif_tag_from_name(entry.substr(0, entry.find('=')).c_str());
        if (e->tag == 0) ADD_FAILURE() << "no EXIF tag " << entry;
        const bool text = e->tag == EXIF_TAG_MAKE || e->tag == EXIF_TAG_MODEL;
        const auto integer = kIntegerFormats.find(e->tag);
        e->format = text                               ? EXIF_FORMAT_ASCII
                    : integer != kIntegerFormats.end() ? integer->second
                                                       : EXIF_FORMAT_RATIONAL;
        e->components = text ? value.size() + 1 : 1;
        e->size = exif_format_get_size(e->format) * e->components;
        e->data = static_cast<unsigned char*>(exif_mem_alloc(mem, e->size));
        const double number = text ? 0.0 : std::stod(value);
        const auto whole = static_cast<ExifLong>(number);
        if (text) std::memcpy(e->data, value.c_str(), e->size);
        if (e->format == EXIF_FORMAT_SHORT) exif_set_short(e->data, kOrder, ExifShort(whole));
        if (e->format == EXIF_FORMAT_LONG) exif_set_long(e->data, kOrder, whole);
        if (e->format == EXIF_FORMAT_RATIONAL) {
            exif_set_rational(e->data, kOrder,
                              {static_cast<ExifLong>(number * 1000.0 + 0.5), 1000});
        }
        exif_content_add_entry(data->ifd[text ? EXIF_IFD_0 : EXIF_IFD_EXIF], e);
        exif_entry_unref(e);
    }
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &bytes, &size);
    std::string block(reinterpret_cast<const char*>(bytes), size);
    std::free(bytes);
    exif_mem_unref(mem);
    exif_data_unref(data);
    return block;
}

struct CameraCase {
    const char* name;
    const char* exif;  // for ExifBlock; empty: a JPEG without EXIF data
    double focal_mm;   // the camera written; 0: none, and `says` is why
    double pixel_um;
    const char* says;  // a comment line of the camera file, or the reason none was written
};

class SiftkeyCameraTest : public testing::TestWithParam<CameraCase> {};

// The photograph is 120 x 80 pixels: principal point (59.5, 39.5); its diagonal is
// 144.22 pixels. 5080 pixels per inch are 5 um pixels. The EXIF block is an APP1 segment
// right after the JPEG start marker.
TEST_P(SiftkeyCameraTest, CameraOfTheExifDataOrStatus1AndWhy) {
    const CameraCase& c = GetParam();
    TempDir dir;
    std::string jpeg = Encode(".jpg", RandomBlobs(120, 80, 30, 7));
    if (c.exif[0] != 0) {
        const std::string exif = ExifBlock(c.exif);
        const std::size_t length = exif.size() + 2;
        jpeg.insert(2, std::string("\xFF\xE1") + static_cast<char>(length >> 8) +
                           static_cast<char>(length & 0xFF) + exif);
    }
    const std::string photo = dir.Write("photo.jpg", jpeg);
    const std::string cam = dir.File("photo.cam");
    const ProgramResult r = Siftkey({"--camera", cam, photo, dir.File("photo.key")});
    EXPECT_TRUE(fs::exists(dir.File("photo.key"))) << "the keypoints are written in any case";
    if (c.focal_mm == 0.0) {
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_NE(r.err.find("\nsiftkey: " + photo + ": no camera written: " + c.says),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(cam));
        return;
    }
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const std::string text = ReadFileBytes(cam);
    EXPECT_TRUE(StartsWith(text, "# Camera from the EXIF data of " + photo +
                                     ", written by siftkey.\n# Approximate: the principal point "
                                     "is assumed at the centre of the frame, and there is no "
                                     "distortion.\n"))
        << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    EXPECT_NE(r.err.find("siftkey: camera of " + photo + " from its EXIF data written to " + cam),
              std::string::npos)
        << r.err;
    const ro::CameraFileResult parsed = ro::ParseCameraText(text);
    const auto* camera = std::get_if<ro::Camera>(&parsed);
    ASSERT_NE(camera, nullptr) << std::get<ro::CameraFileError>(parsed).reason;
    EXPECT_NEAR(camera->focal_length_m * 1e3, c.focal_mm, 1e-6);
    EXPECT_NEAR(camera->PixelSizeUm(), c.pixel_um, 1e-4 * c.pixel_um);
    EXPECT_EQ(camera->principal_column_px, 59.5);
    EXPECT_EQ(camera->principal_row_px, 39.5);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiftkeyCameraTest,
    testing::Values(
        CameraCase{"FocalPlaneInInches",
                   "Make=Canon;Model=Canon EOS 5D;FocalLength=24;FocalPlaneXResolution=5080;"
                   "FocalPlaneYResolution=5080;FocalPlaneResolutionUnit=2;PixelXDimension=120",
                   24, 5, "\n# Camera: Canon EOS 5D\n"},
        CameraCase{"FocalPlaneInCentimetres",
                   "Make=NIKON;Model=D800;FocalLength=4.2;FocalPlaneXResolution=2000;"
                   "FocalPlaneResolutionUnit=3",
                   4.2, 5, "\n# Camera: NIKON D800\n"},
        CameraCase{"NonSquareInMillimetresGiveTheMean",
                   "FocalLength=35;FocalPlaneXResolution=200;FocalPlaneYResolution=250;"
                   "FocalPlaneResolutionUnit=4",
                   35, 4.5, "# Pixel size from the EXIF focal plane resolution.\n"},
        CameraCase{"ResizedToAQuarter",
                   "FocalLength=24;FocalPlaneXResolution=5080;PixelXDimension=480;"
                   "PixelYDimension=320",
                   24, 20,
                   "scaled by 4: the EXIF image size is 480 pixels wide, the photograph 120 "
                   "(resized since)"},
        CameraCase{"Only35mmEquivalent", "FocalLength=10;FocalLengthIn35mmFilm=50", 10,
                   1000.0 * 43.27 * 10.0 / 50.0 / 144.22205101855957,
                   "35 mm equivalent focal length (50 mm)"},
        CameraCase{"NoAbsoluteUnitFallsBackTo35mm",
                   "FocalLength=10;FocalPlaneXResolution=5080;FocalPlaneResolutionUnit=1;"
                   "FocalLengthIn35mmFilm=50",
                   10, 1000.0 * 43.27 * 10.0 / 50.0 / 144.22205101855957, "35 mm equivalent"},
        CameraCase{"NoExif", "", 0, 0, "the photograph has no EXIF data"},
        CameraCase{"NoFocalLength", "Make=Canon;FocalPlaneXResolution=5080", 0, 0,
                   "the EXIF data has no focal length"},
        CameraCase{"NoPixelSize", "FocalLength=24", 0, 0,
                   "the EXIF data has neither a focal plane resolution nor a 35 mm equivalent "
                   "focal length, so the pixel size is unknown"},
        CameraCase{"OutOfRange", "FocalLength=24;FocalPlaneXResolution=0.001", 0, 0,
                   "the EXIF data gives no usable camera ("}),
    CaseName());

}  // namespace
