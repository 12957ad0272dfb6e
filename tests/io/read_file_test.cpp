// Reading inputs whole: regular files, devices, folders, pipes and standard input, each
// against the byte limit.
#include "io/read_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>

#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::TempDir;

constexpr std::size_t kLimit = 100;

struct ReadCase {
    const char* name;
    std::string content;  // of the file "in" made in a scratch folder
    std::string path;     // read instead of "in" when not empty; {D} is the scratch folder
    std::string message;  // "" for success; {F} stands for the path read
};

class ReadWholeFileTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadWholeFileTest, ReadsUpToTheLimit) {
    const ReadCase& c = GetParam();
    TempDir dir;
    const std::string file = dir.Write("in", c.content);
    std::string path = c.path.empty() ? file : c.path;
    if (const std::size_t at = path.find("{D}"); at != std::string::npos) {
        path.replace(at, 3, dir.path().string());
    }
    const io::FileContents got = io::ReadWholeFile(path, kLimit, "a test file");
    if (c.message.empty()) {
        ASSERT_FALSE(got.error.has_value()) << got.error->Message();
        EXPECT_EQ(got.bytes, c.content);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(got.identity.device, st.st_dev);
        EXPECT_EQ(got.identity.inode, st.st_ino);
        EXPECT_EQ(got.identity.regular, S_ISREG(st.st_mode) != 0);
    } else {
        ASSERT_TRUE(got.error.has_value());
        std::string expected = c.message;
        expected.replace(expected.find("{F}"), 3, path);
        EXPECT_EQ(got.error->Message(), expected);
        EXPECT_EQ(got.bytes, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadWholeFileTest,
    testing::Values(ReadCase{"small_file", "focal_length_mm = 24\n", "", ""},
                    ReadCase{"exactly_the_limit", std::string(kLimit, 'x'), "", ""},
                    ReadCase{"one_byte_over", std::string(kLimit + 1, 'x'), "",
                             "{F}: too long for a test file (more than 100 bytes)"},
                    ReadCase{"empty_device", "", "/dev/null", ""},
                    ReadCase{"endless_device", "", "/dev/zero",
                             "{F}: too long for a test file (more than 100 bytes)"},
                    ReadCase{"missing", "", "{D}/none",
                             "{F}: cannot open: No such file or directory"},
                    ReadCase{"folder", "", "{D}", "{F}: read error: Is a directory"},
                    ReadCase{"dash_inside_a_path_is_a_name", "", "{D}/-",
                             "{F}: cannot open: No such file or directory"}),
    CaseName());

// Standard input ("-") as a pipe fed by another thread, in pieces, below and past the
// limit; fd 0 is restored afterwards.
struct PipeCase {
    const char* name;
    std::size_t bytes;
    std::size_t limit;
    bool too_long;
};

class StandardInputTest : public testing::TestWithParam<PipeCase> {};

TEST_P(StandardInputTest, DashReadsThePipe) {
    const PipeCase& c = GetParam();
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int saved = ::dup(STDIN_FILENO);
    ASSERT_EQ(::dup2(ends[0], STDIN_FILENO), STDIN_FILENO);
    ::close(ends[0]);
    const std::string content(c.bytes, 'p');
    std::thread writer([&] {
        for (std::size_t at = 0; at < content.size();) {
            const ssize_t n = ::write(ends[1], content.data() + at,
                                      std::min<std::size_t>(10000, content.size() - at));
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        ::close(ends[1]);
    });
    const io::FileContents got = io::ReadWholeFile("-", c.limit, "a pipe test");
    // The reader takes up to one byte past the limit, so the writer has finished.
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    writer.join();
    EXPECT_FALSE(got.identity.regular);
    if (c.too_long) {
        ASSERT_TRUE(got.error.has_value());
        EXPECT_EQ(got.error->Message(), "standard input: too long for a pipe test (more than " +
                                            std::to_string(c.limit) + " bytes)");
    } else {
        ASSERT_FALSE(got.error.has_value()) << got.error->Message();
        EXPECT_EQ(got.bytes.size(), c.bytes);
        EXPECT_TRUE(got.bytes == content);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StandardInputTest,
                         testing::Values(PipeCase{"several_buffers", 200000, 200000, false},
                                         PipeCase{"past_the_limit", 200001, 200000, true}),
                         CaseName());

}  // namespace
