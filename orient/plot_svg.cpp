// The SVG plot.
#include "orient/plot_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/angles.h"
#include "io/xml_text.h"
#include "orient/plot_layout.h"
#include "orient/text_format.h"

namespace orient {
namespace {

using common::kDegreesPerRadian;

// Appends `bytes` to `out` in base64.
void AppendBase64(std::string& out, const std::string& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
        const char quad[4] = {kDigits[group >> 18 & 63], kDigits[group >> 12 & 63],
                              left > 1 ? kDigits[group >> 6 & 63] : '=',
                              left > 2 ? kDigits[group & 63] : '='};
        out.append(quad, 4);
    }
}

// The sizes of the drawing, in pixels of photograph 1.
struct Sizes {
    double font = 0.0;
    double stroke = 0.0;
    double radius = 0.0;  // of a mark
    double vector = 0.0;  // width of a y-parallax vector
    double line = 0.0;    // distance between lines of text
};

// A kind of tie point: its mark (an element of <defs>), its name and how many are drawn.
struct Kind {
    ro::PointStatus status;
    const char* id;
    const char* name;
    std::size_t limit;
};
// In the order of drawing: the rejected points last, over the inliers.
constexpr Kind kKinds[] = {
    {ro::PointStatus::inlier, "inlier", "inlier", kMaxDrawnInliers},
    {ro::PointStatus::snooped, "snooped", "rejected by data snooping", kMaxDrawnRejected},
    {ro::PointStatus::ransac_outlier, "rejected", "rejected by the robust loop", kMaxDrawnRejected},
};

// The marks, each with a white outline that keeps it visible on a dark or busy photograph
// and a shape of its own: a dot for an inlier, a diamond for a point rejected by data
// snooping, a cross for one rejected by the robust loop.
void Marks(std::string& out, const Sizes& s) {
    const double r = s.radius;
    out += "<defs>\n";
    out += Format(
        "<circle id=\"inlier\" r=\"%.2f\" fill=\"%s\" stroke=\"white\" "
        "stroke-width=\"%.2f\"/>\n",
        1.2 * r, kInlierColour, 0.5 * r);
    out += Format(
        "<path id=\"snooped\" d=\"M0 %.2fL%.2f 0L0 %.2fL%.2f 0Z\" fill=\"%s\" "
        "stroke=\"white\" stroke-width=\"%.2f\"/>\n",
        -1.7 * r, 1.4 * r, 1.7 * r, -1.4 * r, kSnoopedColour, 0.5 * r);
    const std::string cross =
        Format("M%.2f %.2fL%.2f %.2fM%.2f %.2fL%.2f %.2f", -r, -r, r, r, -r, r, r, -r);
    out += Format(
        "<g id=\"rejected\" fill=\"none\" stroke-linecap=\"round\"><path d=\"%s\" "
        "stroke=\"white\" stroke-width=\"%.2f\"/><path d=\"%s\" stroke=\"%s\" "
        "stroke-width=\"%.2f\"/></g>\n",
        cross.c_str(), 1.1 * r, cross.c_str(), kRansacOutlierColour, 0.55 * r);
    out += "</defs>\n";
}

void Use(std::string& out, const char* id, double x, double y) {
    out += Format("<use xlink:href=\"#%s\" x=\"%.2f\" y=\"%.2f\"/>\n", id, x, y);
}

// A path drawn twice, wide in white under narrow in `colour`.
void HaloPath(std::string& out, const std::string& d, const char* colour, double width) {
    out += Format(
        "<path d=\"%s\" fill=\"none\" stroke=\"white\" stroke-opacity=\"0.8\" "
        "stroke-width=\"%.2f\"/>\n",
        d.c_str(), 2.5 * width);
    out += Format("<path d=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"%.2f\"/>\n", d.c_str(),
                  colour, width);
}

// The y-parallax vectors of the drawn inliers, cut at the frame; how many were cut.
std::size_t Parallaxes(std::string& out, const ro::OrientationResult& result,
                       const std::vector<std::size_t>& drawn, double scale, const Box& frame,
                       const Sizes& s) {
    std::string d;
    std::size_t cut = 0;
    for (const std::size_t k : drawn) {
        const std::optional<ParallaxVector> v = VectorOf(result.points[k], scale, frame);
        if (!v) continue;
        d += Format("M%.2f %.2fV%.2f", v->x, v->y_from, v->y_to);
        cut += v->cut ? 1 : 0;
    }
    out += "<g class=\"parallax\">\n";
    if (!d.empty()) HaloPath(out, d, kParallaxColour, s.vector);
    out += "</g>\n";
    return cut;
}

void GruberGrid(std::string& out, const ro::OrientationResult& result, const Sizes& s) {
    const auto& b = result.geometry.gruber_box_px;
    const int columns = result.geometry.gruber_columns;
    const int rows = result.geometry.gruber_rows;
    std::string d = Format("M%.2f %.2fH%.2fV%.2fH%.2fZ", b[0], b[1], b[2], b[3], b[0]);
    for (int c = 1; c < columns; ++c) {
        d += Format("M%.2f %.2fV%.2f", b[0] + c * (b[2] - b[0]) / columns, b[1], b[3]);
    }
    for (int r = 1; r < rows; ++r) {
        d += Format("M%.2f %.2fH%.2f", b[0], b[1] + r * (b[3] - b[1]) / rows, b[2]);
    }
    out += Format(
        "<path d=\"%s\" fill=\"none\" stroke=\"#333333\" stroke-width=\"%.2f\" "
        "stroke-dasharray=\"%.2f %.2f\"/>\n",
        d.c_str(), s.stroke, 4 * s.stroke, 3 * s.stroke);
}

bool HasGruberGrid(const ro::OrientationResult& result) {
    const auto& b = result.geometry.gruber_box_px;
    return b[2] > b[0] && b[3] > b[1];
}

// A label on a white, half-transparent box, so that it reads over points and photograph.
void Label(std::string& out, const std::string& text, double x, double y, const Sizes& s) {
    const double width = (0.56 * static_cast<double>(text.size()) + 0.5) * s.font;
    out += Format(
        "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" rx=\"%.2f\" "
        "fill=\"white\" fill-opacity=\"0.75\"/>\n",
        x - 0.25 * s.font, y - 1.0 * s.font, width, 1.3 * s.font, 0.2 * s.font);
    out += Format("<text x=\"%.2f\" y=\"%.2f\">", x, y) + io::XmlText(text) + "</text>\n";
}

// The inlier count of every von Gruber region at its top left, row by row.
void GruberLabels(std::string& out, const ro::OrientationResult& result, const Sizes& s) {
    const auto& b = result.geometry.gruber_box_px;
    const int columns = result.geometry.gruber_columns;
    const int rows = result.geometry.gruber_rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const auto region = static_cast<std::size_t>(columns) * static_cast<std::size_t>(row) +
                                static_cast<std::size_t>(column);
            Label(
                out,
                Counted(static_cast<std::size_t>(result.geometry.gruber_counts[region]), "inlier"),
                b[0] + column * (b[2] - b[0]) / columns + 0.5 * s.font,
                b[1] + row * (b[3] - b[1]) / rows + 1.5 * s.font, s);
        }
    }
}

std::string ElementText(const ro::OrientationResult& r, int k) {
    const double value = r.elements.AsArray()[static_cast<std::size_t>(k)];
    const double sigma = r.precision.sigma[static_cast<std::size_t>(k)];
    if (k < 2)
        return Format("%s %s \xC2\xB1 %s", ro::kElementNames[k], Fixed(value, 6).c_str(),
                      Fixed(sigma, 6).c_str());
    return Format("%s %s \xC2\xB1 %s deg", ro::kElementNames[k],
                  Fixed(value * kDegreesPerRadian, 5).c_str(),
                  Fixed(sigma * kDegreesPerRadian, 5).c_str());
}

// The caption's lines of text: the files, and for an orientation sigma0, the counts of the
// points and the elements; for a refused run the counts and the reason, no figures that
// were not computed. Every warning follows in a line of its own.
std::vector<std::string> CaptionLines(const ro::OrientationResult& r,
                                      const pair_run::RunInfo& run) {
    const bool oriented = r.outcome == ro::Outcome::oriented;
    std::size_t counts[3] = {0, 0, 0};
    for (const ro::PointResult& p : r.points) ++counts[static_cast<int>(p.status)];
    std::vector<std::string> lines;
    lines.push_back(std::string("orient ") + pair_run::Version() + "   " + run.keys1_file + " / " +
                    run.keys2_file + (oriented ? "   oriented" : ""));
    const std::string points =
        Counted(static_cast<std::size_t>(r.matches), "tie point") + ": " +
        Counted(counts[0], "inlier") +
        Format(", %zu rejected by the robust loop, %zu by data snooping", counts[1], counts[2]);
    if (oriented) {
        const ro::AdjustmentSummary& a = r.adjustment;
        lines.push_back("sigma0 " + Fixed(a.sigma0_px, 3) + " px (a priori " +
                        Fixed(a.sigma_apriori_px, 3) + " px)   " + points);
        lines.push_back(ElementText(r, 0) + "   " + ElementText(r, 1));
        lines.push_back(ElementText(r, 2) + "   " + ElementText(r, 3) + "   " + ElementText(r, 4));
    } else {
        lines.push_back(points);
        lines.push_back("not oriented: " + r.reason);
    }
    for (const ro::Warning& w : r.warnings) lines.push_back(WarningLine(w));
    return lines;
}

// One entry of the legend: a mark (an element of <defs>), a y-parallax vector or a dashed
// region, and its text.
struct LegendEntry {
    const char* mark;  // an id of <defs>, or "parallax" or "region"
    std::string text;
};

// The legend's entries placed in rows no wider than `width`: the left end of each and its row.
struct Placed {
    double x = 0.0;
    std::size_t row = 0;
};
std::vector<Placed> PlaceLegend(const std::vector<LegendEntry>& entries, double width,
                                const Sizes& s) {
    std::vector<Placed> placed;
    double x = 0.0;
    std::size_t row = 0;
    for (const LegendEntry& e : entries) {
        const double w = (1.6 + 0.56 * static_cast<double>(e.text.size()) + 1.5) * s.font;
        if (x > 0.0 && x + w > width) {
            x = 0.0;
            ++row;
        }
        placed.push_back({x, row});
        x += w;
    }
    return placed;
}

void Legend(std::string& out, const std::vector<LegendEntry>& entries,
            const std::vector<Placed>& placed, double x0, double y0, const Sizes& s) {
    out += "<g id=\"legend\">\n";
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const double x = x0 + placed[k].x;
        const double y = y0 + static_cast<double>(placed[k].row + 1) * s.line;
        const double mid = y - 0.35 * s.font;
        const std::string mark = entries[k].mark;
        if (mark == "parallax") {
            HaloPath(
                out,
                Format("M%.2f %.2fV%.2f", x + 0.6 * s.font, y + 0.1 * s.font, y - 0.9 * s.font),
                kParallaxColour, s.vector);
        } else if (mark == "region") {
            out += Format(
                "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"none\" "
                "stroke=\"#333333\" stroke-width=\"%.2f\" stroke-dasharray=\"%.2f %.2f\"/>\n",
                x, y - 0.9 * s.font, 1.2 * s.font, 1.0 * s.font, s.stroke, 4 * s.stroke,
                3 * s.stroke);
        } else {
            // Marks as large as the text: the photograph's may be much smaller.
            out += Format(
                "<use xlink:href=\"#%s\" transform=\"translate(%.2f %.2f) scale(%.2f)\"/>\n",
                entries[k].mark, x + 0.6 * s.font, mid, std::max(1.0, 0.3 * s.font / s.radius));
        }
        out += Format("<text x=\"%.2f\" y=\"%.2f\">", x + 1.6 * s.font, y) +
               io::XmlText(entries[k].text) + "</text>\n";
    }
    out += "</g>\n";
}

}  // namespace

std::string PlotSvg(const ro::OrientationResult& result, const pair_run::RunInfo& run,
                    const PlotPhotograph* photograph) {
    const Box frame = FrameOf(run, photograph);
    const Box extent = ExtentOf(frame, result);
    const double size = std::max(extent.Width(), extent.Height());
    Sizes s;
    s.font = std::max(8.0, frame.Width() / 70.0);
    s.stroke = std::max(0.5, size / 1500.0);
    s.radius = std::max(2.0, size / 400.0);
    s.vector = std::max(1.0, size / 1000.0);
    s.line = 1.4 * s.font;

    // The points drawn of each kind, their legend entries, the vectors' scale.
    std::vector<std::vector<std::size_t>> drawn;
    std::vector<LegendEntry> legend;
    for (const Kind& kind : kKinds) {
        drawn.push_back(PointsToDraw(result, kind.status, kind.limit, extent));
        std::size_t all = 0;
        for (const ro::PointResult& p : result.points) all += p.status == kind.status ? 1 : 0;
        if (drawn.back().empty()) continue;
        std::string text = kind.name;
        if (drawn.back().size() < all) {
            text += Format(" (%zu of %zu drawn, spread evenly)", drawn.back().size(), all);
        }
        legend.push_back({kind.id, text});
    }
    const double scale = ParallaxScale(result, drawn[0], frame);
    std::string vectors;
    const std::size_t cut =
        scale > 0.0 ? Parallaxes(vectors, result, drawn[0], scale, frame, s) : 0;
    if (scale > 0.0) {
        std::string text = Format("y-parallax \xC3\x97 %g, up for positive", scale);
        if (cut > 0) text += ", " + Counted(cut, "vector") + " cut at the frame";
        legend.push_back({"parallax", text});
    }
    if (HasGruberGrid(result)) legend.push_back({"region", "von Gruber region with its inliers"});

    // The caption below the extent: its lines wrapped to the width, then the legend.
    const std::size_t columns =
        std::max<std::size_t>(20, static_cast<std::size_t>(extent.Width() / (0.56 * s.font)));
    std::vector<std::string> caption;
    for (const std::string& line : CaptionLines(result, run)) {
        for (std::string& part : Wrapped(line, columns)) caption.push_back(std::move(part));
    }
    const double text_width = extent.Width() - 2.0 * s.font;
    const std::vector<Placed> placed = PlaceLegend(legend, text_width, s);
    const std::size_t legend_rows = placed.empty() ? 0 : placed.back().row + 1;
    const double caption_top = extent.y1 + 2.0 * s.radius;  // below the outline of every mark
    const double caption_height =
        2.0 * s.radius + static_cast<double>(caption.size() + legend_rows) * s.line + s.font;
    const double height = extent.Height() + caption_height;

    std::string out;
    // The photograph in base64 plus about 60 bytes per mark and vector: one allocation for all.
    out.reserve((photograph != nullptr ? (photograph->bytes.size() + 2) / 3 * 4 : 0) +
                100 * result.points.size() + 8192);
    out += Format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"%.0f\" height=\"%.0f\" viewBox=\"%.2f %.2f %.2f %.2f\">\n",
        std::ceil(extent.Width()), std::ceil(height), extent.x0, extent.y0, extent.Width(), height);
    out += "<title>Tie points and y-parallaxes on photograph 1</title>\n";
    Marks(out, s);
    out += Format("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"white\"/>\n",
                  extent.x0, extent.y0, extent.Width(), height);
    if (photograph != nullptr) {
        out += Format(
            "<image x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" "
            "preserveAspectRatio=\"none\" xlink:href=\"data:%s;base64,",
            frame.x0, frame.y0, frame.Width(), frame.Height(), photograph->header.mime_type);
        AppendBase64(out, photograph->bytes);
        out += "\"/>\n";
    }
    out += Format(
        "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"none\" "
        "stroke=\"black\" stroke-width=\"%.2f\"/>\n",
        frame.x0, frame.y0, frame.Width(), frame.Height(), 2.0 * s.stroke);
    if (HasGruberGrid(result)) GruberGrid(out, result, s);
    out += vectors;
    for (std::size_t k = 0; k < std::size(kKinds); ++k) {
        out += Format("<g class=\"%s\">\n", kKinds[k].id);
        for (const std::size_t i : drawn[k]) {
            Use(out, kKinds[k].id, result.points[i].col1_px, result.points[i].row1_px);
        }
        out += "</g>\n";
    }
    // Text last, over every mark.
    out +=
        Format("<g id=\"labels\" font-family=\"sans-serif\" font-size=\"%.2f\" fill=\"#222222\">\n",
               s.font);
    if (HasGruberGrid(result)) GruberLabels(out, result, s);
    out += "</g>\n";
    out += Format(
        "<g id=\"caption\" font-family=\"sans-serif\" font-size=\"%.2f\" fill=\"black\" "
        "xml:space=\"preserve\">\n",
        s.font);
    const double x = extent.x0 + s.font;
    for (std::size_t k = 0; k < caption.size(); ++k) {
        out += Format("<text x=\"%.2f\" y=\"%.2f\">", x,
                      caption_top + static_cast<double>(k + 1) * s.line) +
               io::XmlText(caption[k]) + "</text>\n";
    }
    Legend(out, legend, placed, x, caption_top + static_cast<double>(caption.size()) * s.line, s);
    out += "</g>\n</svg>\n";
    return out;
}

}  // namespace orient
