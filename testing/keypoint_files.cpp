#include "testing/keypoint_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace scene {

namespace {

using Rng = std::mt19937;

std::size_t Pick(Rng& rng, std::size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
}

template <class T>
std::string Number(const char* format, T value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

// Start of the k-th whitespace-separated token (k counted modulo the token count).
std::size_t TokenStart(const std::string& text, std::size_t k) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts = text[i] != ' ' && text[i] != '\n' &&
                            (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\n');
        if (starts && count++ == k) return i;
    }
    return text.size();
}

// Replaces the token at `at` with `word`.
void ReplaceToken(std::string& text, std::size_t at, std::string_view word) {
    std::size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\n') ++end;
    text.replace(at, end - at, word);
}

constexpr std::array<std::string_view, 16> kWords = {
    "word",        "-",           "+",          ".",           "1e999999", "-1e999999",
    "99999999999", "-2147483649", "2147483647", "-2147483648", "nan",      "-inf",
    "0x1p3",       "1.5e",        "12.5.5",     "\xff\xfe"};

constexpr std::array<std::string_view, 6> kHeaders = {
    "2147483647 2147483647", "2147483647 128", "-2147483648 -2147483648",
    "1000000000 0",          "5 -7",           "3 99999999999"};

std::string Damage(std::string text, Rng& rng, std::string* what) {
    switch (Pick(rng, 10)) {
        case 0:
            text.resize(Pick(rng, text.size() + 1));
            *what += "cut;";
            break;
        case 1: {
            std::string word(1, ' ');
            word.append(kWords[Pick(rng, kWords.size())]).push_back(' ');
            text.insert(Pick(rng, text.size() + 1), word);
        }
            *what += "word;";
            break;
        case 2:
            for (std::size_t n = 1 + Pick(rng, 8); n > 0; --n) {
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(Pick(rng, text.size() + 1)),
                            static_cast<char>(Pick(rng, 256)));
            }
            *what += "bytes;";
            break;
        case 3:
            text.insert(Pick(rng, text.size() + 1), std::string(1 + Pick(rng, 3), '\0'));
            *what += "nul;";
            break;
        case 4:
            ReplaceToken(text, TokenStart(text, Pick(rng, 64)), kWords[4 + Pick(rng, 10)]);
            *what += "number;";
            break;
        case 5:
            text.insert(Pick(rng, text.size() + 1),
                        std::string(100000 + Pick(rng, 200000), Pick(rng, 2) ? '7' : ' '));
            *what += "long-line;";
            break;
        case 6: {
            std::string crlf;
            for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
            text = crlf;
            *what += "crlf;";
            break;
        }
        case 7:
            text.clear();
            *what += "empty;";
            break;
        case 8: {
            const std::size_t eol = text.find('\n');
            text.replace(0, eol == std::string::npos ? text.size() : eol,
                         kHeaders[Pick(rng, kHeaders.size())]);
            *what += "header;";
            break;
        }
        default:
            ReplaceToken(text, TokenStart(text, Pick(rng, 64)), Number("-%zu", Pick(rng, 1000)));
            *what += "negative;";
            break;
    }
    return text;
}

}  // namespace

std::string MutateKeyFile(const std::string& text, std::uint32_t seed, std::string* what) {
    Rng rng(seed);
    std::string out = text;
    what->clear();
    for (std::size_t n = 1 + Pick(rng, 3); n > 0; --n) out = Damage(out, rng, what);
    return out;
}

std::vector<int> SiftLikeDescriptor(std::mt19937& rng, int dims) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> v(static_cast<std::size_t>(dims));
    double norm = 0.0;
    for (double& x : v) {
        x = uniform(rng) < 0.45 ? 0.0 : std::pow(uniform(rng), 3.0);
        norm += x * x;
    }
    std::vector<int> d(static_cast<std::size_t>(dims));
    for (std::size_t k = 0; k < d.size(); ++k) {
        const double x = std::min(0.2, v[k] / std::sqrt(norm)) * 512.0 * 2.0;
        d[k] = std::min(255, static_cast<int>(x));
    }
    return d;
}

std::vector<int> Perturbed(const std::vector<int>& d, std::mt19937& rng, int amount) {
    std::uniform_int_distribution<int> jitter(-amount, amount);
    std::vector<int> out = d;
    for (int& x : out) x = std::clamp(x + jitter(rng), 0, 255);
    return out;
}

std::string KeyFileText(const std::vector<KeyRecord>& keys, int dims) {
    std::string text = Number("%zu ", keys.size()) + Number("%d\n", dims);
    char buf[128];
    for (const KeyRecord& k : keys) {
        std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f %.3f", k.row, k.col, k.scale, k.ori);
        text += buf;
        for (int d = 0; d < dims; ++d) {
            text += d % 20 == 0 ? "\n " : " ";
            text += std::to_string(k.descrip[static_cast<std::size_t>(d)]);
        }
        text += '\n';
    }
    return text;
}

keypoints::KeypointList ToKeypointList(const std::vector<KeyRecord>& keys) {
    keypoints::KeypointList list;
    list.reserve(keys.size());
    for (const KeyRecord& k : keys) {
        list.push_back(KeypointSt{static_cast<float>(k.row), static_cast<float>(k.col),
                                  static_cast<float>(k.scale), static_cast<float>(k.ori),
                                  k.descrip});
    }
    return list;
}

keypoints::KeypointList UniformKeys(int n, int dims, int lo, int hi, unsigned seed) {
    Rng rng(seed);
    std::uniform_int_distribution<int> value(lo, hi);
    keypoints::KeypointList keys(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        KeypointSt& k = keys[static_cast<std::size_t>(i)];
        k.row = static_cast<float>(i);
        k.col = static_cast<float>(i) * 0.5f + 1.0f;
        k.descrip.resize(static_cast<std::size_t>(dims));
        for (int& v : k.descrip) v = value(rng);
    }
    return keys;
}

std::vector<KeyRecord> SiftLikeRecords(int n, int dims, unsigned seed) {
    Rng rng(seed);
    std::uniform_real_distribution<double> row(0.0, 2000.0);
    std::uniform_real_distribution<double> col(0.0, 3000.0);
    std::uniform_real_distribution<double> scale(1.0, 20.0);
    std::uniform_real_distribution<double> ori(-3.14159, 3.14159);
    std::vector<KeyRecord> keys(static_cast<std::size_t>(std::max(n, 0)));
    for (KeyRecord& k : keys) {
        k = KeyRecord{row(rng), col(rng), scale(rng), ori(rng), SiftLikeDescriptor(rng, dims)};
    }
    return keys;
}

keypoints::KeypointList SiftLikeKeys(int n, int dims, unsigned seed) {
    return ToKeypointList(SiftLikeRecords(n, dims, seed));
}

std::string SiftLikeKeyFile(int n, int dims, unsigned seed) {
    return KeyFileText(SiftLikeRecords(n, dims, seed), dims);
}

keypoints::KeypointList RelatedKeys(const keypoints::KeypointList& first, int n, int lo, int hi,
                                    unsigned seed) {
    Rng rng(seed);
    const int dims = first.empty() ? 0 : static_cast<int>(first[0].descrip.size());
    keypoints::KeypointList keys = UniformKeys(n, dims, lo, hi, seed + 1);
    if (first.empty()) return keys;
    std::uniform_int_distribution<std::size_t> pick(0, first.size() - 1);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int j = 0; j + 1 < n; j += 3) {
        std::vector<int>& copy = keys[static_cast<std::size_t>(j)].descrip;
        copy = first[pick(rng)].descrip;
        for (int& v : copy) v = std::clamp(v + noise(rng), lo, hi);
        const int kind = (j / 3) % 3;  // 0: unique copy, 1: exact duplicate, 2: off by one
        if (kind == 0) continue;
        std::vector<int>& twin = keys[static_cast<std::size_t>(j) + 1].descrip;
        twin = copy;
        if (kind == 2 && !twin.empty()) twin[0] = twin[0] < hi ? twin[0] + 1 : twin[0] - 1;
    }
    return keys;
}

std::string MakeKeyFile(int count, int dims, std::uint32_t seed, float shift) {
    Rng rng(seed);
    std::uniform_real_distribution<double> pos(0.0, 1000.0);
    std::uniform_int_distribution<int> value(0, 255);
    std::vector<KeyRecord> keys(static_cast<std::size_t>(std::max(count, 0)));
    for (std::size_t k = 0; k < keys.size(); ++k) {
        keys[k].row = pos(rng) + shift;
        keys[k].col = pos(rng) + shift;
        keys[k].scale = 1.0 + static_cast<double>(k % 7);
        keys[k].ori = 0.1 * static_cast<double>(k % 31);
        keys[k].descrip.resize(static_cast<std::size_t>(std::max(dims, 0)));
        for (int& v : keys[k].descrip) v = value(rng);
    }
    return KeyFileText(keys, dims);
}

}  // namespace scene
