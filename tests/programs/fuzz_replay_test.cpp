// Replays the saved inputs of one fuzz target (the seed corpus of its input format and the
// inputs of its past findings) through the target's own checks, in the normal and the
// sanitizer builds. A failed check aborts the test binary, so the input's test fails; a
// target without any saved input fails too.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using test_support::ReadFileBytes;

struct SavedInput {
    std::string name;
    std::string path;
};

// Every file of the target's corpus and regression directories (the latter may be
// missing), named after its directory and file name.
std::vector<SavedInput> SavedInputs() {
    std::vector<SavedInput> inputs;
    for (const std::string dir : {RO_FUZZ_CORPUS_DIR, RO_FUZZ_REGRESSION_DIR}) {
        if (!std::filesystem::is_directory(dir)) continue;
        const std::string kind = dir == RO_FUZZ_CORPUS_DIR ? "corpus" : "regression";
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::string name = kind + "_" + entry.path().filename().string();
            for (char& c : name) {
                if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
            }
            inputs.push_back({name, entry.path().string()});
        }
    }
    return inputs;
}

class FuzzReplayTest : public testing::TestWithParam<SavedInput> {};

TEST_P(FuzzReplayTest, PassesTheTargetsChecks) {
    const std::string bytes = ReadFileBytes(GetParam().path);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Saved, FuzzReplayTest, testing::ValuesIn(SavedInputs()),
                         [](const testing::TestParamInfo<SavedInput>& p) { return p.param.name; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzReplayTest);

// A replay of nothing would pass whatever the target does: a missing or empty corpus is a
// failure.
TEST(FuzzReplay, FindsSavedInputs) {
    EXPECT_TRUE(std::filesystem::is_directory(RO_FUZZ_CORPUS_DIR)) << RO_FUZZ_CORPUS_DIR;
    EXPECT_FALSE(SavedInputs().empty());
}

}  // namespace
