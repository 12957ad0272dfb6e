// `cmake --install` of this build tree into a fresh prefix: what it puts where, the
// manual pages as `man` renders them, and the installed programs run from the prefix.
#include <gtest/gtest.h>

#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "tests/programs/installed_tree.h"

namespace {

using test_support::ProgramResult;
using test_support::RunProgram;
using test_support::TempDir;

class InstallTest : public testing::Test {
  protected:
    void SetUp() override {
        const ProgramResult r = RunProgram(
            RO_CMAKE, {"--install", RO_BUILD_DIR, "--prefix", prefix_.path().string()}, 120.0);
        ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
    }
    TempDir prefix_;
};

TEST_F(InstallTest, PutsProgramsPagesAndDocsInPlace) {
    ExpectOnlyProgramsPagesAndDocs(prefix_.path());
}

TEST_F(InstallTest, PagesRenderWithoutWarnings) {
    if (!ToolFound(RO_MAN)) GTEST_SKIP() << "man not found: install man-db and groff-base";
    ExpectPagesRender(prefix_.path());
}

TEST_F(InstallTest, ProgramsRunFromThePrefix) { ExpectProgramsRun(prefix_.path()); }

}  // namespace
