// The built `orient` program: usage errors, unreadable or malformed keypoint and camera
// files, outputs that cannot be written, and the same output for every thread count.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "testing/case_name.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

constexpr char kTryHelp[] = "Try 'orient --help' for more information.\n";
// Two tiny keypoint files that read, match once and are too few to orient.
constexpr char kTiny[] = "1 2\n1 2 3 4 5 6\n";
const std::string kExample1 = RO_SOURCE_DIR "/data/example/img1.key";
const std::string kExample2 = RO_SOURCE_DIR "/data/example/img2.key";

ProgramResult Orient(const std::vector<std::string>& args) {
    return RunProgram(ORIENT_PROGRAM, args, 120.0);
}

TEST(OrientProgram, UsageErrorAndVersion) {
    const ProgramResult usage = Orient({"only.key"});
    EXPECT_EQ(usage.exit_status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err, std::string("orient: img2.key is required\n") + kTryHelp);
    const ProgramResult version = Orient({"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.out, "orient " ORIENT_VERSION "\n");
    EXPECT_EQ(version.err, "");
}

struct InputCase {
    std::string name;
    const char* first;  // keypoint file contents; nullptr: missing; "/": a directory
    const char* second;
    const char* camera;  // --camera2 file contents, nullptr: none
    std::string err;     // with {A}, {B}, {C} for the paths of file 1, file 2 and the camera file
};

class BadInputTest : public testing::TestWithParam<InputCase> {};

std::string Replace(std::string text, const std::string& placeholder, const std::string& path) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + path.size())) {
        text.replace(at, placeholder.size(), path);
    }
    return text;
}

std::string Place(const TempDir& dir, const std::string& name, const char* content) {
    if (content == nullptr) return dir.File(name);
    if (std::string(content) == "/") {
        std::filesystem::create_directory(dir.File(name));
        return dir.File(name);
    }
    return dir.Write(name, content);
}

TEST_P(BadInputTest, Status1NamingTheFileAndTheReason) {
    const InputCase& c = GetParam();
    TempDir dir;
    const std::string a = Place(dir, "a.key", c.first);
    const std::string b = Place(dir, "b.key", c.second);
    std::vector<std::string> args = {a, b};
    std::string camera = "none";
    if (c.camera) {
        camera = Place(dir, "c.cam", c.camera);
        args.insert(args.begin(), {"--camera2", camera});
    }
    const ProgramResult r = Orient(args);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Replace(Replace(Replace(c.err, "{A}", a), "{B}", b), "{C}", camera));
}

const char kCamera[] = "focal_length_mm = 24\npixel_size_um = 4\nprincipal_point = 10 10\n";

INSTANTIATE_TEST_SUITE_P(
    Table, BadInputTest,
    testing::Values(
        InputCase{"both_missing", nullptr, nullptr, nullptr,
                  "orient: {A}: cannot open: No such file or directory\n"
                  "orient: {B}: cannot open: No such file or directory\n"},
        InputCase{"second_a_directory", kTiny, "/", nullptr,
                  "orient: {B}: read error: Is a directory\n"},
        InputCase{"first_empty", "", kTiny, nullptr,
                  "orient: {A}: Invalid keypoint file beginning.\n"},
        InputCase{"second_truncated", kTiny, "2 2\n1 2 3 4 5 6\n", nullptr,
                  "orient: {B}: Invalid keypoint file format.\n"},
        InputCase{"first_word_in_descriptor", "1 2\n1 2 3 4 5 six\n", kTiny, nullptr,
                  "orient: {A}: Invalid keypoint file value.\n"},
        InputCase{"descriptor_lengths_differ", kTiny, "1 3\n1 2 3 4 5 6 7\n", nullptr,
                  "orient: cannot match descriptors of different lengths: {A} has 2 values per "
                  "descriptor, {B} has 3\n"},
        InputCase{"camera_unknown_key", kTiny, kTiny, "focal_length_mm = 24\nfocal_mm = 24\n",
                  "orient: {C}:2: unknown key 'focal_mm'\n"},
        InputCase{"camera_read_before_keypoints", nullptr, nullptr, "pixel_size_um = 0\n",
                  "orient: {C}:1: 'pixel_size_um' must be greater than 0\n"}),
    CaseName());

// A good camera file reaches the report; one that never ends is refused.
TEST(OrientProgram, PlotPhotographMustBeAPngOrJpeg) {
    TempDir dir;
    const std::string photo = dir.Write("photo.png", "not a picture\n");
    const ProgramResult r =
        Orient({"--plot", dir.File("plot.svg"), "--image1", photo, kExample1, kExample2});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "orient: " + photo + ": not a PNG or JPEG photograph\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("plot.svg")));
}

TEST(OrientProgram, CameraFiles) {
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    const std::string camera = dir.Write("c.cam", kCamera);
    const ProgramResult r = Orient({"--camera", camera, "--camera2", camera, a, a});
    EXPECT_EQ(r.exit_status, 3) << r.err;
    EXPECT_NE(r.out.find("camera 2   f 24.0000 mm = 6000.00 px   pixel 4.000 um   principal point "
                         "(10.00, 10.00) px\n           in-plane angle 0.0000 deg   camera file " +
                         camera + "\n"),
              std::string::npos)
        << r.out;
    const ProgramResult endless = Orient({"--camera", "/dev/zero", a, a});
    EXPECT_EQ(endless.exit_status, 1);
    EXPECT_EQ(endless.err,
              "orient: /dev/zero: too long for a camera file (more than 1048576 bytes)\n");
}

// "-" reads a camera file from standard input; its messages name standard input.
TEST(OrientProgram, CameraFromStandardInput) {
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    const auto with_stdin = [&](const std::string& camera) {
        return RunProgram("/bin/sh",
                          {"-c", "exec \"$0\" \"$@\" < \"" + dir.Write("stdin.cam", camera) + "\"",
                           ORIENT_PROGRAM, "--camera", "-", a, a},
                          60.0);
    };
    const ProgramResult good = with_stdin(kCamera);
    EXPECT_EQ(good.exit_status, 3) << good.err;
    EXPECT_NE(good.out.find("in-plane angle 0.0000 deg   camera file -, both photographs\n"),
              std::string::npos)
        << good.out;
    const ProgramResult bad = with_stdin("pixel_size_um = 0\n");
    EXPECT_EQ(bad.exit_status, 1);
    EXPECT_EQ(bad.err, "orient: standard input:1: 'pixel_size_um' must be greater than 0\n");
}

// Photographs that do not fit the camera or the --image1 photograph are warned about on
// standard error, in the JSON and (for --image1) in the plot's caption; the example made
// for the built-in camera is not.
struct FitCase {
    std::string name;
    std::vector<std::string> args;  // before --json and the plot
    const char* code;               // nullptr: none of the three codes
    std::string err;                // part of standard error
};

class PhotographFitTest : public testing::TestWithParam<FitCase> {};

TEST_P(PhotographFitTest, WarnsNamingBothSizes) {
    const FitCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--json", dir.File("r.json"), "--plot", dir.File("p.svg")});
    const ProgramResult r = Orient(args);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    std::vector<std::string> codes;
    const nlohmann::json json = nlohmann::json::parse(ReadFileBytes(dir.File("r.json")));
    for (const auto& w : json["warnings"]) {
        const std::string code = w["code"];
        if (code == "W-CAMERA-FRAME" || code == "W-BUILTIN-CAMERA" || code == "W-IMAGE1-SIZE") {
            codes.push_back(code);
        }
    }
    EXPECT_EQ(codes, c.code ? std::vector<std::string>{c.code} : std::vector<std::string>{});
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    const std::string svg = ReadFileBytes(dir.File("p.svg"));
    EXPECT_EQ(svg.find("warning: the --image1 photograph") != std::string::npos,
              c.code != nullptr && std::string_view(c.code) == "W-IMAGE1-SIZE");
}

const std::string kStreet = RO_SOURCE_DIR "/data/real/street/";

INSTANTIATE_TEST_SUITE_P(
    Table, PhotographFitTest,
    testing::Values(
        FitCase{"example_on_the_built_in_camera", {kExample1, kExample2}, nullptr, ""},
        FitCase{"street_on_the_built_in_camera",
                {kStreet + "leuvenA.key", kStreet + "leuvenB.key"},
                "W-BUILTIN-CAMERA",
                "orient: warning: the built-in camera (frame 1920 x 1024 px) was used, but the "
                "keypoints of " +
                    kStreet + "leuvenA.key reach only 749 x 561 px"},
        FitCase{"street_photograph_under_the_example",
                {"--image1", kStreet + "leuvenA.jpg", kExample1, kExample2},
                "W-IMAGE1-SIZE",
                "orient: warning: the --image1 photograph " + kStreet +
                    "leuvenA.jpg is 751 x 563 px, but the keypoints of " + kExample1 +
                    " need one of at least 1919 x 1022 px"}),
    CaseName());

long Entries(const TempDir& dir) {
    return std::distance(std::filesystem::directory_iterator(dir.path()),
                         std::filesystem::directory_iterator());
}

struct OutputCase {
    std::string name;
    std::string option;  // --json or --points
    std::string target;  // {D} stands for a scratch directory
    std::string err;
};

class UnwritableOutputTest : public testing::TestWithParam<OutputCase> {};

TEST_P(UnwritableOutputTest, Status1NamingTheOutput) {
    const OutputCase& c = GetParam();
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    const std::string target = Replace(c.target, "{D}", dir.path().string());
    const ProgramResult r = Orient({c.option, target, "--quiet", a, a});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, Replace(c.err, "{D}", dir.path().string()));
    EXPECT_EQ(Entries(dir), 1) << "nothing half-written is left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnwritableOutputTest,
    testing::Values(OutputCase{"json_device_full", "--json", "/dev/full",
                               "orient: /dev/full: write error: No space left on device\n"},
                    OutputCase{"points_device_full", "--points", "/dev/full",
                               "orient: /dev/full: write error: No space left on device\n"},
                    OutputCase{"json_a_directory", "--json", "{D}",
                               "orient: {D}: cannot write: Is a directory\n"},
                    OutputCase{"points_in_missing_folder", "--points", "{D}/none/p.csv",
                               "orient: {D}/none/p.csv: cannot write: cannot make a file in "
                               "{D}/none: No such file or directory\n"}),
    CaseName());

TEST(OrientProgram, FullStandardOutputFails) {
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--json", "-"}}) {
        std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" >/dev/full", ORIENT_PROGRAM};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {a, a});
        const ProgramResult r = RunProgram("/bin/sh", args, 60.0);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "orient: standard output: write error: No space left on device\n");
    }
}

// A write that fails half-way (here: past the file size limit) leaves the old file as
// it was and no temporary file behind.
TEST(OrientProgram, FailedWriteLeavesTheOldFile) {
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    const std::string out = dir.Write("out.json", "{\"old\": 1}");
    const ProgramResult r = RunProgram("/bin/sh",
                                       {"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"",
                                        ORIENT_PROGRAM, "--json", out, a, a},
                                       60.0);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "orient: " + out + ": write error: File too large\n");
    EXPECT_EQ(ReadFileBytes(out), "{\"old\": 1}");
    EXPECT_EQ(Entries(dir), 2);
}

// An existing output is replaced whole and keeps its permissions.
TEST(OrientProgram, ExistingOutputsAreReplacedWhole) {
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    const std::string json = dir.Write("out.json", "[\"" + std::string(100000, 'x') + "\"]");
    ::chmod(json.c_str(), 0640);
    const std::string csv = dir.File("out.csv");
    const ProgramResult r = Orient({"--json", json, "--points", csv, a, a});
    EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 3) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(ReadFileBytes(json));
    EXPECT_EQ(doc["schema"], "relative-orientation/1");
    EXPECT_EQ(doc["points_csv"], csv);
    struct stat st {};
    ASSERT_EQ(::stat(json.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFileBytes(csv).rfind("match,row1,col1,", 0), 0u);
    EXPECT_EQ(Entries(dir), 3);
}

struct RunOutputs {
    int status = -1;
    std::string report;
    std::string json;
    std::string csv;
};

RunOutputs RunExample(const TempDir& dir, int threads) {
    // The same output names in every run, so that the outputs can be compared whole.
    const ProgramResult r = RunProgram(ORIENT_PROGRAM,
                                       {"--threads", std::to_string(threads), "--json", "out.json",
                                        "--points", "out.csv", kExample1, kExample2},
                                       120.0, dir.path().string());
    RunOutputs out{r.exit_status, r.out, ReadFileBytes(dir.File("out.json")),
                   ReadFileBytes(dir.File("out.csv"))};
    EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 3) << r.err;
    return out;
}

TEST(OrientProgram, SameOutputForEveryThreadCount) {
    TempDir dir;
    const RunOutputs one = RunExample(dir, 1);
    ASSERT_FALSE(one.report.empty());
    ASSERT_FALSE(one.json.empty());
    ASSERT_FALSE(one.csv.empty());
    EXPECT_EQ(nlohmann::json::parse(one.json)["input"]["matches"], 240);
    for (const int threads : {2, 4}) {
        SCOPED_TRACE(threads);
        const RunOutputs other = RunExample(dir, threads);
        EXPECT_EQ(other.status, one.status);
        EXPECT_EQ(other.report, one.report);
        EXPECT_EQ(other.json, one.json);
        EXPECT_EQ(other.csv, one.csv);
    }
}

TEST(OrientProgram, QuietAndJsonOnStandardOutput) {
    const ProgramResult quiet = Orient({"--quiet", kExample1, kExample2});
    EXPECT_EQ(quiet.out, "");
    const ProgramResult json = Orient({"--json", "-", kExample1, kExample2});
    EXPECT_EQ(json.exit_status, quiet.exit_status);
    EXPECT_EQ(nlohmann::json::parse(json.out)["schema"], "relative-orientation/1");
    // Without an orientation the report says why, and so does standard error.
    if (quiet.exit_status == 3) {
        const std::string reason = nlohmann::json::parse(json.out)["outcome"]["reason"];
        EXPECT_EQ(quiet.err, "orient: no reliable orientation: " + reason + "\n");
        const ProgramResult report = Orient({kExample1, kExample2});
        EXPECT_EQ(report.out.rfind("no reliable orientation: " + reason + "\n", 0), 0u);
    }
}

// An existing file of another kind is refused before any work and left as it was; --force
// replaces it. (Read-only files, refused even with --force: tests/io.)
struct ReplaceCase {
    const char* name;
    const char* option;
    std::string existing;
    bool force;
    const char* err;  // nullptr: written
};

class ExistingOutputTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ExistingOutputTest, RefusedUnlessSameKindOrForced) {
    const ReplaceCase& c = GetParam();
    TempDir dir;
    const std::string a = dir.Write("a.key", kTiny);
    const std::string out = dir.Write("out", c.existing);
    std::vector<std::string> args = {c.option, out, "--quiet", a, a};
    if (c.force) args.insert(args.begin(), "--force");
    const ProgramResult r = Orient(args);
    EXPECT_EQ(r.exit_status, c.err ? 1 : 3) << r.err;
    if (c.err) {
        EXPECT_EQ(r.err,
                  "orient: " + out + ": cannot write: " + c.err + " (--force replaces it)\n");
    }
    EXPECT_EQ(ReadFileBytes(out) == c.existing, c.err != nullptr);
    EXPECT_EQ(ReadFileBytes(a), kTiny);
    EXPECT_EQ(Entries(dir), 2);
}

const std::string kPhoto("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11);

INSTANTIATE_TEST_SUITE_P(
    Table, ExistingOutputTest,
    testing::Values(ReplaceCase{"PhotographAsJson", "--json", kPhoto, false,
                                "it holds a JPEG image, not a JSON document"},
                    ReplaceCase{"PhotographForced", "--json", kPhoto, true, nullptr},
                    ReplaceCase{"KeypointsAsPlot", "--plot", kTiny, false,
                                "it holds a keypoint file, not an SVG drawing"},
                    ReplaceCase{"JsonAsPoints", "--points", "{}", false,
                                "it holds a JSON document, not a CSV table"},
                    ReplaceCase{"OlderJson", "--json", "{\"old\": 1}", false, nullptr}),
    CaseName());

// Any path naming standard output carries the output alone, so that a pipe reads it whole.
TEST(OrientProgram, OutputsOnStandardOutputAlone) {
    TempDir dir;
    const struct {
        std::string option;
        std::string path;
        std::string starts;
    } cases[] = {
        {"--points", "-", "match,row1,col1,"},
        {"--plot", "/proc/self/fd/1", "<svg"},
        {"--json", dir.File("same.json"), "{"},  // standard output redirected to it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option + " " + c.path);
        const ProgramResult r = RunProgram("/bin/sh",
                                           {"-c", "exec \"$0\" \"$@\" >" + dir.File("same.json"),
                                            ORIENT_PROGRAM, c.option, c.path, kExample1, kExample2},
                                           120.0);
        EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 3) << r.err;
        const std::string out = ReadFileBytes(dir.File("same.json"));
        EXPECT_EQ(out.rfind(c.starts, 0), 0u) << out.substr(0, 80);
        if (c.option == "--json") {
            EXPECT_TRUE(nlohmann::json::accept(out));
        } else if (c.option == "--plot") {
            EXPECT_EQ(out.substr(out.size() - 7), "</svg>\n");
        }
    }
}

// The points CSV of a run on key files, read back as tie points matched elsewhere, gives
// the same orientation: the tie points are the matches (their coordinates rounded to a
// thousandth of a pixel). Every output names the tie-point file instead of key files.
TEST(OrientProgram, PointsCsvReadBackAsTiePoints) {
    TempDir dir;
    const std::string stereo = RO_SOURCE_DIR "/data/real/stereo/";
    const std::string camera = stereo + "camera.txt";
    const ProgramResult keys = RunProgram(ORIENT_PROGRAM,
                                          {"--camera", camera, "--points", "pts.csv", "--json",
                                           "keys.json", stereo + "left.key", stereo + "right.key"},
                                          120.0, dir.path().string());
    ASSERT_EQ(keys.exit_status, 0) << keys.err;
    const ProgramResult ties = RunProgram(
        ORIENT_PROGRAM,
        {"--camera", camera, "--tie-points", "pts.csv", "--json", "ties.json", "--plot", "t.svg"},
        120.0, dir.path().string());
    ASSERT_EQ(ties.exit_status, 0) << ties.err;
    EXPECT_EQ(ties.err, "");
    EXPECT_NE(ties.out.find("\ninput      tie points pts.csv\n"), std::string::npos) << ties.out;
    EXPECT_NE(ReadFileBytes(dir.File("t.svg")).find("tie points pts.csv   oriented"),
              std::string::npos);
    const auto a = nlohmann::json::parse(ReadFileBytes(dir.File("keys.json")));
    const auto b = nlohmann::json::parse(ReadFileBytes(dir.File("ties.json")));
    EXPECT_EQ(b["input"]["tie_points"], "pts.csv");
    EXPECT_TRUE(b["input"]["keys1"].is_null() && b["input"]["ratio"].is_null());
    EXPECT_FALSE(a["input"].contains("tie_points"));
    EXPECT_EQ(b["input"]["matches"], a["input"]["matches"]);
    EXPECT_EQ(b["robust"]["inliers"], a["robust"]["inliers"]);
    for (const char* element : {"by", "bz", "omega_deg", "phi_deg", "kappa_deg"}) {
        SCOPED_TRACE(element);
        const auto& x = a["elements"][element];
        EXPECT_NEAR(b["elements"][element]["value"].get<double>(), x["value"].get<double>(),
                    0.01 * x["sigma"].get<double>());
    }
}

// A tie-point file that cannot be used: status 1, its name and line, no output written.
TEST(OrientProgram, BadTiePointFile) {
    TempDir dir;
    const std::string csv = dir.Write("t.csv", "row1,col1,row2,col2\n1,2,3\n");
    const ProgramResult r = Orient({"--tie-points", csv, "--json", dir.File("out.json")});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orient: " + csv + ":2: 3 fields where the header has 4\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.json")));
}

}  // namespace
