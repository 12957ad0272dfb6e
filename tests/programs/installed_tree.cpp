#include "tests/programs/installed_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testing/console_texts.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "testing/text_lines.h"

namespace fs = std::filesystem;

namespace {

using test_support::Lines;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

// Every regular file below `root`, as paths relative to it.
std::set<std::string> RegularFiles(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
    }
    return files;
}

bool IsExecutable(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) && (st.st_mode & S_IXOTH);
}

// A terminal rendering without its overstrikes: "N\bN" (bold) and "_\bN" (underlined)
// become "N".
std::string PlainText(const std::string& rendered) {
    std::string plain;
    for (const char c : rendered) {
        if (c == '\b') {
            if (!plain.empty()) plain.pop_back();
        } else {
            plain.push_back(c);
        }
    }
    return plain;
}

struct PageCase {
    const char* page;
    std::vector<std::string> shows;  // texts the rendered page holds
};

std::vector<PageCase> PageCases() {
    const std::string example = ReadFileBytes(RO_TEST_DATA_DIR "/manpage_example.csv");
    PageCase featsheet{"featsheet.1.gz", Lines(example)};
    featsheet.shows.push_back("FEATSHEET(1)");
    PageCase relative{"relative.1.gz", {"RELATIVE(1)", "EXIT STATUS", "M = Rx(ω) Ry(ϕ) Rz(κ)"}};
    PageCase orient{"orient.1.gz", {"ORIENT(1)", "EXIT STATUS", "W-CORR-BY-OMEGA"}};
    for (PageCase* c : {&relative, &orient}) {
        c->shows.push_back(RO_PAGE_SCALE " pixels per metre");
        c->shows.push_back("column " RO_PAGE_PRINCIPAL_I ", row " RO_PAGE_PRINCIPAL_J);
        c->shows.push_back(RO_PAGE_FOCAL_LENGTH " metres");
    }
    PageCase orient_block{"orient-block.1.gz", {"ORIENT-BLOCK(1)", "EXIT STATUS", "sequential:N"}};
    std::vector<PageCase> cases = {featsheet, relative, orient, orient_block};
#ifdef RO_HAVE_SIFTKEY
    cases.push_back(
        {"siftkey.1.gz", {"SIFTKEY(1)", "EXIT STATUS", "centre of the top-left pixel"}});
#endif
    for (PageCase& c : cases) c.shows.push_back("relative-orientation " RO_PACKAGE_VERSION);
    return cases;
}

// siftkey from the tree: its version, a wrong call, and a small image of three blobs.
void ExpectSiftkeyRuns(const fs::path& siftkey, const TempDir& work) {
    const ProgramResult version = RunProgram(siftkey.string(), {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.out.rfind("siftkey (relative-orientation) " RO_PROJECT_VERSION "\n", 0), 0u)
        << version.out;
    const ProgramResult usage = RunProgram(siftkey.string(), {"only-one"});
    EXPECT_EQ(usage.exit_status, 2);
    EXPECT_EQ(usage.err,
              "siftkey: OUT.key is required\nTry 'siftkey --help' for more information.\n");
    const std::string image = RO_TEST_DATA_DIR "/blobs.png";
    const std::string key = work.File("blobs.key");
    const ProgramResult r = RunProgram(siftkey.string(), {image, key});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_NE(r.err.find(" keypoints written to " + key), std::string::npos) << r.err;
    const std::string text = ReadFileBytes(key);
    EXPECT_NE(text.find(" 128\n"), std::string::npos);
    EXPECT_NE(text.substr(0, 2), "0 ") << text;
}

}  // namespace

bool ToolFound(const std::string& path) {
    return !path.empty() && path.find("NOTFOUND") == std::string::npos;
}

void ExpectOnlyProgramsPagesAndDocs(const fs::path& prefix) {
    std::set<std::string> expected = {"bin/featsheet",
                                      "bin/orient",
                                      "bin/orient-block",
                                      "bin/relative",
                                      "share/doc/relative-orientation/changelog.Debian.gz",
                                      "share/doc/relative-orientation/conventions.md",
                                      "share/doc/relative-orientation/copyright",
                                      "share/man/man1/featsheet.1.gz",
                                      "share/man/man1/orient.1.gz",
                                      "share/man/man1/orient-block.1.gz",
                                      "share/man/man1/relative.1.gz"};
#ifdef RO_HAVE_SIFTKEY
    expected.insert({"bin/siftkey", "share/man/man1/siftkey.1.gz"});
    EXPECT_TRUE(IsExecutable(prefix / "bin/siftkey"));
#endif
#ifdef RO_HAVE_PYTHON
    std::stringstream python_files(RO_PYTHON_FILES);
    for (std::string file; std::getline(python_files, file, ',');) {
        expected.insert(RO_PYTHON_DIR "/" + file);
    }
#endif
    EXPECT_EQ(RegularFiles(prefix), expected);
    for (const char* program :
         {"bin/relative", "bin/featsheet", "bin/orient", "bin/orient-block"}) {
        EXPECT_TRUE(IsExecutable(prefix / program)) << program;
    }
}

void ExpectPagesRender(const fs::path& prefix) {
    // A fixed width keeps the line breaks, and so the texts looked for, stable.
    ::setenv("MANWIDTH", "80", 1);
    for (const PageCase& c : PageCases()) {
        SCOPED_TRACE(c.page);
        const fs::path page = prefix / "share/man/man1" / c.page;
        const ProgramResult r =
            RunProgram(RO_MAN, {"--warnings=w", "-l", "-Tutf8", page.string()}, 60.0);
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_EQ(r.err, "");
        // The NAME line must parse, or the page is missing from whatis and apropos.
        if (ToolFound(RO_LEXGROG)) {
            const std::string program = std::string(c.page).substr(0, std::strlen(c.page) - 5);
            const ProgramResult w = RunProgram(RO_LEXGROG, {page.string()});
            EXPECT_EQ(w.exit_status, 0);
            EXPECT_NE(w.out.find(": \"" + program + " - "), std::string::npos) << w.out;
        }
        const std::string plain = PlainText(r.out);
        for (const std::string& text : c.shows) {
            EXPECT_NE(plain.find(text), std::string::npos) << "missing: " << text;
        }
    }
}

void ExpectProgramsRun(const fs::path& prefix) {
    const std::string relative = (prefix / "bin/relative").string();
    const std::string featsheet = (prefix / "bin/featsheet").string();

    const ProgramResult usage1 = RunProgram(relative, {});
    EXPECT_EQ(usage1.exit_status, 255);
    EXPECT_EQ(usage1.out, "");
    EXPECT_EQ(usage1.err,
              std::string(relative_texts::kBanner) + "(none)\n" + relative_texts::kUsage);

    TempDir work;
    const ProgramResult missing =
        RunProgram(relative, {work.File("none1.key"), work.File("none2.key")});
    EXPECT_EQ(missing.exit_status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("Error: Could not open file: " + work.File("none1.key") + "\n"),
              std::string::npos);

    const ProgramResult usage2 = RunProgram(featsheet, {"only-one"});
    EXPECT_EQ(usage2.exit_status, 255);
    EXPECT_EQ(usage2.err, "");
    EXPECT_EQ(usage2.out, featsheet_texts::kUsage);

    const std::string in =
        work.Write("in.key", ReadFileBytes(RO_TEST_DATA_DIR "/manpage_example.key"));
    const std::string out = work.File("out.csv");
    const ProgramResult converted = RunProgram(featsheet, {in, out});
    EXPECT_EQ(converted.exit_status, 0);
    EXPECT_EQ(converted.err, "");
    EXPECT_EQ(converted.out, featsheet_texts::Announce(in, out, 2, 4) + "done!\n");
    EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(RO_TEST_DATA_DIR "/manpage_example.csv"));

    const std::string orient = (prefix / "bin/orient").string();
    const ProgramResult usage3 = RunProgram(orient, {"only-one"});
    EXPECT_EQ(usage3.exit_status, 2);
    EXPECT_EQ(usage3.out, "");
    EXPECT_EQ(usage3.err,
              "orient: img2.key is required\nTry 'orient --help' for more information.\n");
    const ProgramResult version = RunProgram(orient, {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.out, "orient " RO_PROJECT_VERSION "\n");
    const ProgramResult unreadable = RunProgram(orient, {in, work.File("none.key")});
    EXPECT_EQ(unreadable.exit_status, 1);
    EXPECT_EQ(unreadable.err,
              "orient: " + work.File("none.key") + ": cannot open: No such file or directory\n");
#ifdef RO_HAVE_SIFTKEY
    ExpectSiftkeyRuns(prefix / "bin/siftkey", work);
#endif
#ifdef RO_HAVE_PYTHON
    // Debian's interpreter imports the installed module and reads a key file with it.
    const ProgramResult python = RunProgram(
        "/usr/bin/env",
        {"PYTHONPATH=" + (prefix / RO_PYTHON_DIR).parent_path().string(), RO_PYTHON, "-c",
         "import sys, relative_orientation as r; print(len(r.read_keypoints(sys.argv[1])[0]))",
         in});
    EXPECT_EQ(python.exit_status, 0) << python.err;
    EXPECT_EQ(python.out, "2\n");
#endif
}
