// Writing outputs whole: what each kind of target gets, and that a failure leaves the
// target as it was with no temporary file behind.
#include "io/atomic_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "testing/case_name.h"
#include "testing/stream_capture.h"
#include "testing/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using test_support::CaseName;
using test_support::ReadFileBytes;
using test_support::StreamCapture;
using test_support::TempDir;

constexpr char kOld[] = "old contents\n";
constexpr char kNew[] = "new contents\n";
// The user ids that a test started as root drops to, to meet permission checks.
constexpr uid_t kNobody = 65534;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Writes kNew to `target` in a child process after `prepare` (which may change the
// umask, limits or user), and exits 0 when the result's message is `expected` ("" for
// success); otherwise prints what came back and exits 1.
void WriteInChild(const std::string& target, const std::string& expected,
                  const std::function<void()>& prepare) {
    EXPECT_EXIT(
        {
            prepare();
            const std::optional<io::FileError> error = io::WriteFileAtomically(target, kNew);
            const std::string got = error ? error->Message() : "";
            std::fprintf(stderr, "%s", got.c_str());
            std::exit(got == expected ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// Gives up root, so that permission checks apply to the child as to any user.
void DropRoot() {
    if (::geteuid() != 0) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        std::_Exit(2);
    }
}

// --- new files: the umask decides, the process's umask is left alone ---

struct UmaskCase {
    const char* name;
    mode_t umask;
    mode_t mode;
};

class NewFileModeTest : public testing::TestWithParam<UmaskCase> {};

TEST_P(NewFileModeTest, OpenWith0666UnderTheUmask) {
    TempDir dir;
    const std::string file = dir.File("out.key");
    const mode_t mask = GetParam().umask;
    EXPECT_EXIT(
        {
            ::umask(mask);
            const bool written = !io::WriteFileAtomically(file, kNew);
            const mode_t after = ::umask(0);
            std::exit(written && after == mask ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(Mode(file), GetParam().mode);
    EXPECT_EQ(ReadFileBytes(file), kNew);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.key"});
}

INSTANTIATE_TEST_SUITE_P(Table, NewFileModeTest,
                         testing::Values(UmaskCase{"umask_022", 022, 0644},
                                         UmaskCase{"umask_000", 0, 0666}),
                         CaseName());

// --- every kind of target ---

// A scratch folder with "target" to write and whatever a case puts beside it.
struct Scene {
    TempDir dir;
    std::string target;   // what is passed to the writer
    std::string content;  // the file that must end up with kNew (or stay kOld on failure)
};

struct TargetCase {
    const char* name;
    std::function<void(Scene&)> setup;
    std::string message;                     // "" for success; {T} stands for the target passed
    std::function<void()> in_child = [] {};  // run in the child before writing
};

std::string Existing(Scene& s, const std::string& name, mode_t mode) {
    std::string file = s.dir.Write(name, kOld);
    ::chmod(file.c_str(), mode);
    return file;
}

class TargetTest : public testing::TestWithParam<TargetCase> {};

TEST_P(TargetTest, WrittenWholeOrLeftAsItWas) {
    const TargetCase& c = GetParam();
    Scene s;
    c.setup(s);
    const std::vector<std::string> names_before = Names(s.dir.path());
    const mode_t mode_before = Mode(s.content);
    std::string expected = c.message;
    if (const std::size_t at = expected.find("{T}"); at != std::string::npos) {
        expected.replace(at, 3, s.target);
    }
    WriteInChild(s.target, expected, c.in_child);
    // Nothing appears or disappears beside the target: no temporary file is left.
    EXPECT_EQ(Names(s.dir.path()), names_before);
    if (!s.content.empty()) {
        EXPECT_EQ(ReadFileBytes(s.content), c.message.empty() ? kNew : kOld);
        EXPECT_EQ(Mode(s.content), mode_before) << "permission bits kept";
    }
    // Folders locked by a case open again, so that the scratch folder can be removed.
    for (const auto& e : fs::recursive_directory_iterator(s.dir.path())) {
        if (e.symlink_status().type() == fs::file_type::directory) {
            ::chmod(e.path().c_str(), 0700);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TargetTest,
    testing::Values(
        TargetCase{"existing_private_file_keeps_its_mode",
                   [](Scene& s) { s.target = s.content = Existing(s, "out.key", 0600); }, ""},
        TargetCase{"symlink_followed_and_kept",
                   [](Scene& s) {
                       s.content = Existing(s, "real.key", 0640);
                       s.target = s.dir.File("link.key");
                       fs::create_symlink("real.key", s.target);
                   },
                   ""},
        TargetCase{"folder_refused",
                   [](Scene& s) {
                       s.target = s.dir.File("folder");
                       fs::create_directory(s.target);
                   },
                   "{T}: cannot write: Is a directory"},
        TargetCase{"missing_folder", [](Scene& s) { s.target = s.dir.File("missing/out.key"); },
                   "{T}: cannot create: No such file or directory"},
        TargetCase{"read_only_file_refused",
                   [](Scene& s) {
                       s.target = s.content = Existing(s, "out.key", 0444);
                       ::chmod(s.dir.path().c_str(), 0777);
                   },
                   "{T}: cannot open: Permission denied", DropRoot},
        TargetCase{"folder_without_write_permission",
                   [](Scene& s) {
                       fs::create_directory(s.dir.path() / "locked");
                       s.target = s.content = Existing(s, "locked/out.key", 0666);
                       ::chmod(s.dir.path().c_str(), 0777);
                       ::chmod((s.dir.path() / "locked").c_str(), 0555);
                   },
                   "{T}: cannot create: Permission denied", DropRoot},
        TargetCase{"file_size_limit_mid_write",
                   [](Scene& s) { s.target = s.content = Existing(s, "out.key", 0644); },
                   "{T}: write error: File too large",
                   [] {
                       std::signal(SIGXFSZ, SIG_IGN);
                       const rlimit limit{4, 4};
                       ::setrlimit(RLIMIT_FSIZE, &limit);
                   }},
        TargetCase{"full_device_through_symlink",
                   [](Scene& s) {
                       s.target = s.dir.File("out.key");
                       fs::create_symlink("/dev/full", s.target);
                   },
                   "{T}: write error: No space left on device"},
        TargetCase{"proc_file_refused", [](Scene& s) { s.target = "/proc/self/status"; },
                   "{T}: cannot write: a file under /proc is not replaced"}),
    CaseName());

TEST(WriteFileAtomicallyTest, DashIsStandardOutput) {
    TempDir dir;
    fs::current_path(dir.path());
    {
        StreamCapture out(stdout);
        EXPECT_FALSE(io::WriteFileAtomically("-", kNew).has_value());
        EXPECT_EQ(out.Text(), kNew);
    }
    EXPECT_TRUE(fs::is_empty(dir.path())) << "no file named '-'";
    EXPECT_EXIT(
        {
            std::FILE* full = std::freopen("/dev/full", "w", stdout);
            const std::optional<io::FileError> error = io::WriteFileAtomically("-", kNew);
            std::fprintf(stderr, "%s", error ? error->Message().c_str() : "written");
            std::exit(full != nullptr && error ? 0 : 1);
        },
        testing::ExitedWithCode(0), "^standard output: write error: No space left on device$");
}

}  // namespace
