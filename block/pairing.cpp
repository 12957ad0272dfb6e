#include "block/pairing.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <system_error>

#include "block/photographs.h"

namespace block {
namespace {

// A whole number of decimal digits filling `text`, at least 1; 0 otherwise.
int PositiveNumber(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return 0;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return value;
}

std::string At(const std::string& file, int line) {
    return file + ":" + std::to_string(line) + ": ";
}

}  // namespace

bool ParsePairChoice(const std::string& text, PairChoice& choice) {
    constexpr std::string_view kSequential = "sequential:";
    if (text == "all") {
        choice = {PairChoice::Kind::all, 0, {}};
    } else if (text.starts_with(kSequential)) {
        const int next = PositiveNumber(std::string_view(text).substr(kSequential.size()));
        if (next <= 0) return false;
        choice = {PairChoice::Kind::sequential, next, {}};
    } else {
        choice = {PairChoice::Kind::file, 0, text};
    }
    return true;
}

std::vector<PhotoPair> AllPairs(int photographs) {
    return SequentialPairs(photographs, photographs);
}

std::vector<PhotoPair> SequentialPairs(int photographs, int next) {
    std::vector<PhotoPair> pairs;
    for (int i = 0; i < photographs; ++i) {
        for (int j = i + 1; j < photographs && j - i <= next; ++j) pairs.emplace_back(i, j);
    }
    return pairs;
}

std::vector<PhotoPair> ParsePairList(std::string_view text, const std::string& file,
                                     const std::vector<std::string>& names,
                                     const std::vector<std::string>& key_files) {
    std::map<PhotoPair, int> lines;
    for (const ListLine& line : ListLines(text)) {
        std::vector<std::string> words;
        std::size_t at = 0;
        while (at < line.text.size()) {
            const std::size_t start = line.text.find_first_not_of(" \t\r\v\f", at);
            if (start == std::string::npos) break;
            const std::size_t end =
                std::min(line.text.find_first_of(" \t\r\v\f", start), line.text.size());
            words.push_back(line.text.substr(start, end - start));
            at = end;
        }
        if (words.size() != 2) {
            throw InputError(At(file, line.number) + "expected two photographs, found " +
                             std::to_string(words.size()) + " words");
        }
        int photo[2];
        for (int k = 0; k < 2; ++k) {
            photo[k] = FindPhotograph(words[k], names, key_files);
            if (photo[k] < 0) {
                throw InputError(At(file, line.number) + "unknown photograph '" + words[k] + "'");
            }
        }
        if (photo[0] == photo[1]) {
            throw InputError(At(file, line.number) + "photograph '" + names[photo[0]] +
                             "' is paired with itself");
        }
        const PhotoPair pair{std::min(photo[0], photo[1]), std::max(photo[0], photo[1])};
        const auto [known, added] = lines.emplace(pair, line.number);
        if (!added) {
            throw InputError(At(file, line.number) + "the pair " + names[pair.first] + " " +
                             names[pair.second] + " was listed on line " +
                             std::to_string(known->second));
        }
    }
    std::vector<PhotoPair> pairs;
    pairs.reserve(lines.size());
    for (const auto& entry : lines) pairs.push_back(entry.first);
    return pairs;
}

bool ParseShard(const std::string& text, Shard& shard) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    const int index = PositiveNumber(std::string_view(text).substr(0, slash));
    const int count = PositiveNumber(std::string_view(text).substr(slash + 1));
    if (index <= 0 || count <= 0 || index > count) return false;
    shard = {index, count};
    return true;
}

std::vector<PhotoPair> ShardPairs(const std::vector<PhotoPair>& canonical, const Shard& shard) {
    std::vector<PhotoPair> pairs;
    for (std::size_t k = static_cast<std::size_t>(shard.index - 1); k < canonical.size();
         k += static_cast<std::size_t>(shard.count)) {
        pairs.push_back(canonical[k]);
    }
    return pairs;
}

std::vector<PhotoPair> RunOrder(std::vector<PhotoPair> pairs, int photographs, int cached) {
    if (cached >= photographs) return pairs;
    const int group = std::max(1, cached / 2);
    std::stable_sort(pairs.begin(), pairs.end(), [group](const PhotoPair& a, const PhotoPair& b) {
        return std::make_pair(a.first / group, a.second / group) <
               std::make_pair(b.first / group, b.second / group);
    });
    return pairs;
}

}  // namespace block
