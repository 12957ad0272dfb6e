// The Debian package that CPack makes of this build tree: its control fields and, once
// unpacked into a temporary root with `dpkg-deb -x`, the same tree as an installation
// under /usr, with working programs and pages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "tests/programs/installed_tree.h"

namespace fs = std::filesystem;

namespace {

using test_support::ProgramResult;
using test_support::RunProgram;
using test_support::TempDir;

// The one .deb in `dir`; empty when there is none or more than one.
std::string FindPackage(const fs::path& dir) {
    std::vector<std::string> debs;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".deb") debs.push_back(entry.path().string());
    }
    return debs.size() == 1 ? debs.front() : std::string();
}

std::string Field(const std::string& deb, const std::string& name) {
    const ProgramResult r = RunProgram(RO_DPKG_DEB, {"--field", deb, name});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    return r.out;
}

// One test makes the package and checks it whole: each run of CPack also builds the
// `preinstall` target of the build tree.
TEST(PackageTest, DebUnpacksIntoWorkingInstallation) {
    if (!ToolFound(RO_DPKG_DEB)) GTEST_SKIP() << "dpkg-deb not found: install dpkg-dev";
    TempDir work;
    const ProgramResult made = RunProgram(
        RO_CPACK,
        {"-G", "DEB", "--config", RO_BUILD_DIR "/CPackConfig.cmake", "-B", work.File("out")}, 280.0,
        work.path().string());
    ASSERT_EQ(made.exit_status, 0) << made.out << made.err;
    const std::string deb = FindPackage(work.path() / "out");
    ASSERT_FALSE(deb.empty()) << made.out;

    EXPECT_EQ(Field(deb, "Package"), "relative-orientation\n");
    EXPECT_EQ(Field(deb, "Version"), RO_DEBIAN_VERSION "\n");
    EXPECT_EQ(Field(deb, "Section"), "science\n");
    const std::string depends = Field(deb, "Depends");
    EXPECT_NE(depends.find("libc6"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libstdc++6"), std::string::npos) << depends;
#ifdef RO_HAVE_SIFTKEY
    EXPECT_NE(depends.find("libopencv-features2d"), std::string::npos) << depends;
    EXPECT_NE(depends.find("libopencv-imgcodecs"), std::string::npos) << depends;
#endif
#ifdef RO_HAVE_PYTHON
    EXPECT_NE(depends.find("python3-numpy"), std::string::npos) << depends;
#endif

    const fs::path root = work.path() / "root";
    const ProgramResult unpacked = RunProgram(RO_DPKG_DEB, {"-x", deb, root.string()});
    ASSERT_EQ(unpacked.exit_status, 0) << unpacked.err;
    ExpectOnlyProgramsPagesAndDocs(root / "usr");
    ExpectProgramsRun(root / "usr");
    if (ToolFound(RO_MAN)) ExpectPagesRender(root / "usr");
}

}  // namespace
