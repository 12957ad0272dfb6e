#include "block/pair_matrix_svg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string_view>

#include "io/xml_text.h"

namespace block {
namespace {

struct OutcomeStyle {
    const char* code;
    const char* colour;
};

// Every outcome in the legend's order; the refusals in shades that differ from the two
// outcomes with an orientation (green, orange).
constexpr std::array<OutcomeStyle, 9> kStyles = {{
    {"oriented", "#1a7f37"},
    {"ambiguous", "#e07b00"},
    {"too_few_matches", "#6b7280"},
    {"no_model", "#7c3aed"},
    {"too_few_inliers", "#dc2626"},
    {"no_parallax", "#2563eb"},
    {"adjustment_failed", "#8b4513"},
    {"invalid_options", "#111827"},
    {"invalid_camera", "#c2187a"},
}};
constexpr const char* kUnknownColour = "#000000";
constexpr const char* kEmptyColour = "#f2f2f2";
constexpr int kMaxMatrixPx = 720;
constexpr int kMaxCellPx = 32;
constexpr int kMinCellPx = 3;
constexpr int kMinLabelPitchPx = 10;  // thinner rows get every k-th label only
constexpr std::size_t kMaxLabelChars = 24;

std::string Fixed(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f", value);
    return text.data();
}

// A name cut to kMaxLabelChars characters (not bytes), with an ellipsis.
std::string Label(const std::string& name) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0u) == 0x80u) continue;
        if (++chars > kMaxLabelChars) return name.substr(0, i) + "\xE2\x80\xA6";
    }
    return name;
}

std::size_t LabelChars(const std::string& label) {
    return static_cast<std::size_t>(std::count_if(label.begin(), label.end(), [](char ch) {
        return (static_cast<unsigned char>(ch) & 0xC0u) != 0x80u;
    }));
}

// `colour` (#rrggbb) at strength t in [0, 1] over white.
std::string Shade(const char* colour, double t) {
    const unsigned long rgb = std::strtoul(colour + 1, nullptr, 16);
    std::array<char, 8> text{};
    const auto mix = [t](unsigned long channel) {
        return static_cast<int>(std::lround(255.0 - (255.0 - static_cast<double>(channel)) * t));
    };
    std::snprintf(text.data(), text.size(), "#%02x%02x%02x", mix(rgb >> 16 & 0xFF),
                  mix(rgb >> 8 & 0xFF), mix(rgb & 0xFF));
    return text.data();
}

constexpr double kFaintest = 0.45;

// Strength of a cell: faint for no inliers, full for the block's most inliers, on a
// logarithmic scale so that a pair with a tenth of the best pair's inliers is still seen.
double Strength(int inliers, int max_inliers) {
    if (max_inliers <= 0) return kFaintest;
    const double f = std::log1p(std::max(inliers, 0)) / std::log1p(max_inliers);
    return kFaintest + (1.0 - kFaintest) * std::clamp(f, 0.0, 1.0);
}

// The parts one after the other (g++ 12 warns wrongly about "x" + std::string temporaries).
std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts) out += part;
    return out;
}

// A right triangle in the top right corner at (x, y), legs `size` long.
std::string Triangle(double x, double y, double size) {
    return Cat(
        {"M", Fixed(x), ",", Fixed(y), "h", Fixed(-size), "l", Fixed(size), ",", Fixed(size), "z"});
}

}  // namespace

const char* OutcomeColour(const std::string& outcome) {
    for (const OutcomeStyle& style : kStyles) {
        if (outcome == style.code) return style.colour;
    }
    return kUnknownColour;
}

std::string PairMatrixSvg(const std::vector<Photograph>& photographs,
                          const std::vector<StoredPair>& pairs) {
    const int n = static_cast<int>(photographs.size());
    std::map<std::string, int> index;
    for (int i = 0; i < n; ++i) index.emplace(photographs[static_cast<std::size_t>(i)].name, i);

    // Sizes: cells shrink with the block; labels are thinned to one per kMinLabelPitchPx.
    const int cell = std::clamp(n > 0 ? kMaxMatrixPx / n : kMaxCellPx, kMinCellPx, kMaxCellPx);
    const int label_every = (kMinLabelPitchPx + cell - 1) / cell;
    const double font = label_every == 1 ? std::min(12.0, cell - 1.0) : 9.0;
    std::vector<std::string> labels;
    std::size_t longest = 0;
    for (int i = 0; i < n; ++i) {
        labels.push_back(Label(photographs[static_cast<std::size_t>(i)].name));
        if (i % label_every == 0) longest = std::max(longest, LabelChars(labels.back()));
    }
    const double label_px = static_cast<double>(longest) * font * 0.62 + 8.0;
    // Whole pixels, so that the cells' edges fall between pixels.
    const double left = std::ceil(12.0 + label_px);
    const double top = std::ceil(58.0 + label_px);
    const double side = static_cast<double>(n * cell);

    // Counts for the title and the legend; the largest inlier count sets the shading scale.
    std::map<std::string, int> by_outcome;
    int max_inliers = 0;
    int with_warnings = 0;
    int placed = 0;
    for (const StoredPair& p : pairs) {
        ++by_outcome[p.outcome];
        max_inliers = std::max(max_inliers, p.inliers);
        with_warnings += p.warnings.empty() ? 0 : 1;
    }

    std::string body;
    // The upper triangle where pairs may stand, as one staircase: an empty cell is a pair
    // not stored.
    if (n > 1) {
        body += Cat({"<path fill=\"", kEmptyColour, "\" d=\"M", Fixed(left + cell), ",", Fixed(top),
                     "H", Fixed(left + side), "V", Fixed(top + side - cell), "H",
                     Fixed(left + side - cell)});
        for (int r = n - 2; r >= 1; --r) {
            body += Cat({"V", Fixed(top + r * cell), "H", Fixed(left + r * cell)});
        }
        body += "z\"/>\n";
    }
    if (cell >= 8 && n > 1) {
        body += "<path stroke=\"#ffffff\" stroke-width=\"1\" d=\"";
        for (int i = 1; i < n; ++i) {
            body +=
                Cat({"M", Fixed(left + i * cell), ",", Fixed(top), "V", Fixed(top + i * cell), "M",
                     Fixed(left + i * cell), ",", Fixed(top + i * cell), "H", Fixed(left + side)});
        }
        body += "\"/>\n";
    }
    std::string marks;
    const double mark = std::max(cell * 0.45, 2.5);
    for (const StoredPair& p : pairs) {
        const auto a = index.find(p.name1);
        const auto b = index.find(p.name2);
        if (a == index.end() || b == index.end() || a->second == b->second) continue;
        ++placed;
        const int row = std::min(a->second, b->second);
        const int column = std::max(a->second, b->second);
        const double x = left + column * cell;
        const double y = top + row * cell;
        const double inset = cell >= 8 ? 0.5 : 0.0;
        body += "<rect x=\"" + Fixed(x + inset) + "\" y=\"" + Fixed(y + inset) + "\" width=\"" +
                Fixed(cell - 2 * inset) + "\" height=\"" + Fixed(cell - 2 * inset) + "\" fill=\"" +
                Shade(OutcomeColour(p.outcome), Strength(p.inliers, max_inliers)) + "\"><title>" +
                io::XmlText(p.name1) + " " + io::XmlText(p.name2) + ": " + io::XmlText(p.outcome) +
                ", " + std::to_string(p.inliers) + " inliers</title></rect>\n";
        if (!p.warnings.empty()) marks += Triangle(x + cell, y, mark);
    }
    if (!marks.empty()) {
        body += "<path class=\"warning\" fill=\"#ffd400\" stroke=\"#000000\" stroke-width=\"" +
                std::string(cell >= 8 ? "0.8" : "0.4") + "\" d=\"" + marks + "\"/>\n";
    }
    body += "<rect x=\"" + Fixed(left) + "\" y=\"" + Fixed(top) + "\" width=\"" + Fixed(side) +
            "\" height=\"" + Fixed(side) + "\" fill=\"none\" stroke=\"#808080\"/>\n";

    // Names: rows at the left, columns above, rotated.
    body += "<g font-family=\"DejaVu Sans, sans-serif\" font-size=\"" + Fixed(font) +
            "\" fill=\"#202020\">\n";
    for (int i = 0; i < n; i += label_every) {
        const double centre = i * cell + cell / 2.0;
        const std::string text = io::XmlText(labels[static_cast<std::size_t>(i)]);
        body += "<text x=\"" + Fixed(left - 4) + "\" y=\"" + Fixed(top + centre) +
                "\" dy=\"0.35em\" text-anchor=\"end\">" + text + "</text>\n";
        body += "<text transform=\"translate(" + Fixed(left + centre) + "," + Fixed(top - 4) +
                ") rotate(-90)\" dy=\"0.35em\">" + text + "</text>\n";
    }
    body += "</g>\n";

    // Legend at the right of the matrix.
    const double lx = left + side + 24.0;
    double ly = top;
    std::string legend =
        "<g font-family=\"DejaVu Sans, sans-serif\" font-size=\"12\" fill=\"#202020\">\n";
    legend += "<text x=\"" + Fixed(lx) + "\" y=\"" + Fixed(ly) +
              "\" font-weight=\"bold\">Outcome</text>\n";
    ly += 10.0;
    const auto entry = [&](const std::string& fill, const std::string& text) {
        legend += "<rect x=\"" + Fixed(lx) + "\" y=\"" + Fixed(ly) +
                  "\" width=\"14\" height=\"14\" stroke=\"#808080\" stroke-width=\"0.5\" fill=\"" +
                  fill + "\"/><text x=\"" + Fixed(lx + 20) + "\" y=\"" + Fixed(ly + 11) + "\">" +
                  text + "</text>\n";
        ly += 20.0;
    };
    for (const OutcomeStyle& style : kStyles) {
        const auto found = by_outcome.find(style.code);
        const int count = found == by_outcome.end() ? 0 : found->second;
        if (count > 0 || std::string(style.code) == "oriented") {
            entry(style.colour, std::string(style.code) + " (" + std::to_string(count) + ")");
        }
    }
    for (const auto& [code, count] : by_outcome) {
        if (OutcomeColour(code) == kUnknownColour) {
            entry(kUnknownColour, io::XmlText(code) + " (" + std::to_string(count) + ")");
        }
    }
    entry(kEmptyColour, "no pair stored");
    legend += "<path fill=\"#ffd400\" stroke=\"#000000\" stroke-width=\"0.8\" d=\"" +
              Triangle(lx + 14, ly, 10) + "\"/><text x=\"" + Fixed(lx + 20) + "\" y=\"" +
              Fixed(ly + 11) + "\">warnings (" + std::to_string(with_warnings) + ")</text>\n";
    ly += 36.0;
    legend += "<text x=\"" + Fixed(lx) + "\" y=\"" + Fixed(ly) +
              "\" font-weight=\"bold\">Inliers</text>\n";
    ly += 8.0;
    constexpr int kSteps = 10;
    for (int k = 0; k < kSteps; ++k) {
        const double f = static_cast<double>(k) / (kSteps - 1);
        legend += "<rect x=\"" + Fixed(lx + k * 18.0) + "\" y=\"" + Fixed(ly) +
                  "\" width=\"18\" height=\"14\" fill=\"" +
                  Shade(kStyles[0].colour, kFaintest + (1.0 - kFaintest) * f) + "\"/>\n";
    }
    const int middle = max_inliers > 0
                           ? static_cast<int>(std::lround(std::expm1(std::log1p(max_inliers) / 2)))
                           : 0;
    legend += "<text x=\"" + Fixed(lx) + "\" y=\"" + Fixed(ly + 28) + "\">0</text>";
    legend += "<text x=\"" + Fixed(lx + 90) + "\" y=\"" + Fixed(ly + 28) +
              "\" text-anchor=\"middle\">" + std::to_string(middle) + "</text>";
    legend += "<text x=\"" + Fixed(lx + 180) + "\" y=\"" + Fixed(ly + 28) +
              "\" text-anchor=\"end\">" + std::to_string(max_inliers) + "</text>\n";
    ly += 46.0;
    legend += "<text x=\"" + Fixed(lx) + "\" y=\"" + Fixed(ly) +
              "\" font-size=\"10\">row: first photograph, column: second</text>\n";
    ly += 14.0;
    if (label_every > 1) {
        legend += "<text x=\"" + Fixed(lx) + "\" y=\"" + Fixed(ly) +
                  "\" font-size=\"10\">names: 1 photograph in " + std::to_string(label_every) +
                  "</text>\n";
        ly += 14.0;
    }
    legend += "</g>\n";

    // Title with the counts.
    const int oriented = by_outcome.count("oriented") > 0 ? by_outcome["oriented"] : 0;
    const int ambiguous = by_outcome.count("ambiguous") > 0 ? by_outcome["ambiguous"] : 0;
    const int refused = static_cast<int>(pairs.size()) - oriented - ambiguous;
    std::string title =
        "<text x=\"12\" y=\"22\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"16\" "
        "font-weight=\"bold\" fill=\"#202020\">Pair matrix of " +
        std::to_string(n) + " photographs</text>\n";
    title +=
        "<text x=\"12\" y=\"42\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"12\" "
        "fill=\"#202020\">" +
        std::to_string(pairs.size()) + " pairs: " + std::to_string(oriented) + " oriented, " +
        std::to_string(ambiguous) + " ambiguous, " + std::to_string(refused) + " refused; " +
        std::to_string(with_warnings) + " with warnings";
    if (placed < static_cast<int>(pairs.size())) {
        title += "; " + std::to_string(static_cast<int>(pairs.size()) - placed) +
                 " of unknown photographs not drawn";
    }
    title += "</text>\n";

    const int width = static_cast<int>(std::ceil(std::max(lx + 260.0, 460.0)));
    const int height = static_cast<int>(std::ceil(std::max(top + side, ly) + 12.0));
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) +
           " " + std::to_string(height) + "\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += title + body + legend + "</svg>\n";
    return svg;
}

}  // namespace block
