// The pair-list parser of orient-block on arbitrary bytes, over a block of four photographs
// (names and key files). Besides the sanitizers' checks: an accepted list gives distinct
// canonical pairs (photograph 1 given before photograph 2, sorted), no more than the list
// has lines; a refusal names the list and a line of it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "block/pairing.h"
#include "block/photographs.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> names = {"a", "b", "c", "a b"};
    static const std::vector<std::string> keys = {"x/a.key", "b.key", "c", "a b.key"};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (const char c : text) lines += c == '\n';
    try {
        const std::vector<block::PhotoPair> pairs =
            block::ParsePairList(text, "pairs.txt", names, keys);
        FUZZ_CHECK(pairs.size() <= lines, "more pairs than lines");
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            FUZZ_CHECK(
                pairs[k].first >= 0 && pairs[k].first < pairs[k].second && pairs[k].second < 4,
                "a pair out of order or range");
            FUZZ_CHECK(k == 0 || pairs[k - 1] < pairs[k], "pairs not sorted or repeated");
        }
    } catch (const block::InputError& error) {
        const std::string message = error.what();
        constexpr std::string_view kFile = "pairs.txt:";
        FUZZ_CHECK(message.starts_with(kFile), "a refusal without the file");
        const std::size_t colon = message.find(':', kFile.size());
        FUZZ_CHECK(colon != std::string::npos && colon > kFile.size(), "a refusal without a line");
        const std::size_t line = std::stoul(message.substr(kFile.size(), colon - kFile.size()));
        FUZZ_CHECK(line >= 1 && line <= lines, "a refusal naming a line the list lacks");
    }
    return 0;
}
