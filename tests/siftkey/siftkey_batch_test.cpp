// siftkey -o DIR PHOTO...: the key files of many photographs are those of the
// single-photograph form, up-to-date ones are skipped, a failing photograph fails alone,
// and photographs that would write one file are refused before any work.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

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

ProgramResult Siftkey(const std::vector<std::string>& args) {
    return RunProgram(SIFTKEY_PROGRAM, args, 120.0);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Three photographs in two folders, changed an hour ago, and the folder for their keys
// (not made yet).
class SiftkeyBatchTest : public testing::Test {
  protected:
    SiftkeyBatchTest() {
        fs::create_directories(dir_.path() / "a");
        fs::create_directories(dir_.path() / "b");
        const char* names[] = {"a/one.png", "a/two.png", "b/three.jpg"};
        for (int k = 0; k < 3; ++k) {
            photos_.push_back(dir_.File(names[k]));
            cv::imwrite(photos_.back(), RandomBlobs(160, 120, 50, 11 + static_cast<unsigned>(k)));
            fs::last_write_time(photos_.back(),
                                fs::file_time_type::clock::now() - std::chrono::hours(1));
        }
    }
    std::string Key(const std::string& name) const { return (keys_ / (name + ".key")).string(); }
    std::vector<std::string> Args(std::vector<std::string> options) const {
        options.insert(options.end(), {"-o", keys_.string()});
        options.insert(options.end(), photos_.begin(), photos_.end());
        return options;
    }

    TempDir dir_;
    std::vector<std::string> photos_;
    fs::path keys_ = dir_.path() / "out" / "keys";
};

TEST_F(SiftkeyBatchTest, SingleFormsFilesThenOnlyWhatChanged) {
    const ProgramResult first = Siftkey(Args({"--threads", "2"}));
    ASSERT_EQ(first.exit_status, 0) << first.err;
    EXPECT_EQ(first.out, "");
    EXPECT_TRUE(Contains(
        first.err, "siftkey: key files of 3 photographs written to " + keys_.string() + " in "))
        << first.err;
    const char* names[] = {"one", "two", "three"};
    for (int k = 0; k < 3; ++k) {
        const ProgramResult single = Siftkey({"--quiet", photos_[k], dir_.File("single.key")});
        ASSERT_EQ(single.exit_status, 0);
        EXPECT_EQ(single.err, "");
        EXPECT_EQ(ReadFileBytes(Key(names[k])), ReadFileBytes(dir_.File("single.key"))) << names[k];
    }

    const ProgramResult again = Siftkey(Args({}));
    EXPECT_EQ(again.exit_status, 0);
    EXPECT_EQ(again.err,
              "siftkey: every photograph already has its key file; nothing to do "
              "(--force redoes them)\n");

    // A photograph changed after its key file: only it is detected again.
    std::vector<fs::file_time_type> written;
    for (const char* name : names) written.push_back(fs::last_write_time(Key(name)));
    fs::last_write_time(photos_[1], written[1] + std::chrono::seconds(1));
    const ProgramResult touched = Siftkey(Args({}));
    EXPECT_EQ(touched.exit_status, 0);
    EXPECT_TRUE(
        Contains(touched.err, "siftkey: 2 of 3 photographs already have key files, 1 to do\n"))
        << touched.err;
    EXPECT_EQ(fs::last_write_time(Key("one")), written[0]);
    EXPECT_NE(fs::last_write_time(Key("two")), written[1]);
    EXPECT_EQ(fs::last_write_time(Key("three")), written[2]);

    const ProgramResult forced = Siftkey(Args({"--force", "--quiet"}));
    EXPECT_EQ(forced.exit_status, 0);
    EXPECT_EQ(forced.err, "");
    EXPECT_NE(fs::last_write_time(Key("one")), written[0]);
}

// A photograph that cannot be read fails alone: the others get their files, the summary
// counts the failure, the status is 1. With --camera a photograph without EXIF data keeps
// its key file but gets no camera file, and counts as failed.
TEST_F(SiftkeyBatchTest, AFailingPhotographFailsAlone) {
    const std::string broken = dir_.Write("broken.jpg", "\xFF\xD8 not really a JPEG");
    photos_.push_back(broken);
    const ProgramResult r = Siftkey(Args({}));
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(Contains(r.err, "siftkey: " + broken + ": ")) << r.err;
    EXPECT_TRUE(Contains(r.err, "siftkey: key files of 3 photographs written to " + keys_.string()))
        << r.err;
    EXPECT_TRUE(r.err.ends_with("; 1 photograph failed\n")) << r.err;
    EXPECT_FALSE(fs::exists(Key("broken")));
    for (const char* name : {"one", "two", "three"}) EXPECT_TRUE(fs::exists(Key(name))) << name;

    photos_ = {photos_[0]};
    const ProgramResult camera = Siftkey(Args({"--camera"}));
    EXPECT_EQ(camera.exit_status, 1);
    EXPECT_TRUE(Contains(camera.err, "siftkey: " + photos_[0] +
                                         ": no camera written: the photograph has no EXIF data\n"))
        << camera.err;
    EXPECT_TRUE(Contains(camera.err, "siftkey: 1/1 photographs, ")) << camera.err;
    EXPECT_FALSE(fs::exists((keys_ / "one.cam")));
}

struct BatchUsageCase {
    const char* name;
    std::vector<std::string> photos;  // "@" stands for the temporary folder
    const char* says;
};

class SiftkeyBatchUsageTest : public testing::TestWithParam<BatchUsageCase> {};

// Photographs that cannot be named by their files: status 2 before any work.
TEST_P(SiftkeyBatchUsageTest, RefusedBeforeAnyWork) {
    const BatchUsageCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> args = {"--output-dir", dir.File("keys")};
    for (const std::string& photo : c.photos) {
        args.push_back(photo[0] == '@' ? dir.path().string() + photo.substr(1) : photo);
    }
    const ProgramResult r = Siftkey(args);
    EXPECT_EQ(r.exit_status, 2);
    std::string says = c.says;
    if (const std::size_t at = says.find('@'); at != std::string::npos) {
        says.replace(at, 1, dir.path().string());
    }
    EXPECT_EQ(r.err, "siftkey: " + says + "\nTry 'siftkey --help' for more information.\n");
    EXPECT_FALSE(fs::exists(dir.File("keys")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiftkeyBatchUsageTest,
    testing::Values(BatchUsageCase{"no_photograph", {}, "PHOTO is required"},
                    BatchUsageCase{"one_name_twice",
                                   {"x/a.jpg", "b.jpg", "@/y/a.png"},
                                   "photographs 'x/a.jpg' and '@/y/a.png' would both write a.key"},
                    BatchUsageCase{
                        "standard_input",
                        {"-"},
                        "PHOTO: standard input ('-') has no name for its key file; use the "
                        "single-photograph form"},
                    BatchUsageCase{"folder", {"photos/"}, "PHOTO: 'photos/' names no file"}),
    CaseName());

}  // namespace
