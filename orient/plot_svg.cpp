// The SVG plot.
#include "orient/plot_svg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/angles.h"
#include "orient/photograph_fit.h"
#include "orient/text_format.h"

namespace orient {
namespace {

using common::kDegreesPerRadian;

// The drawing's extent in pixels of photograph 1.
struct Box {
    double x0 = 0.0;
    double y0 = 0.0;
    double x1 = 0.0;
    double y1 = 0.0;
    double Width() const { return x1 - x0; }
    double Height() const { return y1 - y0; }
};

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is
// none (a stray or missing continuation byte, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    }
    return length;
}

// `text` as XML character data that any file name leaves well-formed: & < > " ' escaped;
// control characters (which XML 1.0 forbids or a caption cannot show), U+FFFE, U+FFFF and
// bytes that are not UTF-8 replaced by U+FFFD.
std::string Escape(std::string_view text) {
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    while (!text.empty()) {
        const std::size_t length = Utf8Length(text);
        const std::string_view character = text.substr(0, std::max<std::size_t>(length, 1));
        text.remove_prefix(character.size());
        const auto lead = static_cast<unsigned char>(character[0]);
        const bool c1_control =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
        const bool non_character = character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF";
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1_control || non_character) {
            out += kReplacement;
            continue;
        }
        switch (lead) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += character;
        }
    }
    return out;
}

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

// The frame of photograph 1: the photograph's, else centred on the principal point.
Box FrameOf(const RunInfo& run, const PlotPhotograph* photograph) {
    if (photograph != nullptr) {
        return {-0.5, -0.5, photograph->header.width - 0.5, photograph->header.height - 0.5};
    }
    const ro::Camera& c = run.camera1.camera;
    return {-0.5, -0.5, 2.0 * c.principal_column_px + 0.5, 2.0 * c.principal_row_px + 0.5};
}

// The frame grown to hold every finite point of photograph 1 as well.
Box ExtentOf(const Box& frame, const ro::OrientationResult& result) {
    Box box = frame;
    for (const ro::PointResult& p : result.points) {
        if (!std::isfinite(p.col1_px) || !std::isfinite(p.row1_px)) continue;
        box.x0 = std::min(box.x0, p.col1_px);
        box.x1 = std::max(box.x1, p.col1_px);
        box.y0 = std::min(box.y0, p.row1_px);
        box.y1 = std::max(box.y1, p.row1_px);
    }
    return box;
}

// A white outline under text drawn over the photograph, so that it stays legible.
std::string Halo(double font) {
    return Format(
        "stroke=\"white\" stroke-width=\"%.2f\" stroke-opacity=\"0.8\" paint-order=\"stroke\"",
        0.15 * font);
}

// A round length of 1, 2 or 5 times a power of ten near `target`.
double RoundLength(double target) {
    const double power = std::pow(10.0, std::floor(std::log10(target)));
    for (const double step : {1.0, 2.0, 5.0}) {
        if (step * power >= target / 1.5) return step * power;
    }
    return 10.0 * power;
}

void Points(std::string& out, const ro::OrientationResult& result, ro::PointStatus status,
            const char* colour, double radius) {
    out += Format("<g fill=\"%s\">\n", colour);
    for (const ro::PointResult& p : result.points) {
        if (p.status != status || !std::isfinite(p.col1_px) || !std::isfinite(p.row1_px)) continue;
        out +=
            Format("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\"/>\n", p.col1_px, p.row1_px, radius);
    }
    out += "</g>\n";
}

// The y-parallax vectors, `scale` drawing pixels per pixel of y-parallax, pointing up in
// the photograph for a positive y-parallax.
void Parallaxes(std::string& out, const ro::OrientationResult& result, double scale,
                double stroke) {
    out += Format("<g stroke=\"%s\" stroke-width=\"%.2f\">\n", kParallaxColour, stroke);
    for (const ro::PointResult& p : result.points) {
        if (p.status != ro::PointStatus::inlier || !std::isfinite(p.y_parallax_px)) continue;
        out += Format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", p.col1_px,
                      p.row1_px, p.col1_px, p.row1_px - scale * p.y_parallax_px);
    }
    out += "</g>\n";
}

// The scale bar of the vectors at the frame's bottom left.
void ScaleBar(std::string& out, const Box& frame, double scale, double bar_px, double font,
              double stroke) {
    const double x = frame.x0 + 2.0 * font;
    const double y = frame.y1 - 1.5 * font;
    out += Format("<g stroke=\"%s\" stroke-width=\"%.2f\">\n", kParallaxColour, 2.0 * stroke);
    out += Format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", x, y, x,
                  y - scale * bar_px);
    out += "</g>\n";
    out += Format(
        "<text x=\"%.2f\" y=\"%.2f\" font-family=\"sans-serif\" font-size=\"%.2f\" "
        "fill=\"%s\" %s>y-parallax %s px</text>\n",
        x + 0.5 * font, y, font, kParallaxColour, Halo(font).c_str(), Format("%g", bar_px).c_str());
}

void GruberGrid(std::string& out, const ro::OrientationResult& result, double font, double stroke) {
    const auto& b = result.geometry.gruber_box_px;
    if (!(b[2] > b[0] && b[3] > b[1])) return;
    out += Format(
        "<g fill=\"none\" stroke=\"#555555\" stroke-width=\"%.2f\" stroke-dasharray=\"%.2f "
        "%.2f\">\n",
        stroke, 4 * stroke, 3 * stroke);
    out += Format("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\"/>\n", b[0], b[1],
                  b[2] - b[0], b[3] - b[1]);
    // Two regions along the base, three across it (ro::GruberRegions).
    const int columns = result.geometry.gruber_columns;
    const int rows = result.geometry.gruber_rows;
    for (int c = 1; c < columns; ++c) {
        const double x = b[0] + c * (b[2] - b[0]) / columns;
        out +=
            Format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", x, b[1], x, b[3]);
    }
    for (int r = 1; r < rows; ++r) {
        const double y = b[1] + r * (b[3] - b[1]) / rows;
        out +=
            Format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", b[0], y, b[2], y);
    }
    out += "</g>\n";
    out += Format("<g font-family=\"sans-serif\" font-size=\"%.2f\" fill=\"#222222\" %s>\n", font,
                  Halo(font).c_str());
    // Regions row by row from the top left.
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const double x = b[0] + (column + 0.04) * (b[2] - b[0]) / columns;
            const double y = b[1] + row * (b[3] - b[1]) / rows + 1.2 * font;
            const std::size_t region =
                static_cast<std::size_t>(columns) * static_cast<std::size_t>(row) +
                static_cast<std::size_t>(column);
            out += Format("<text x=\"%.2f\" y=\"%.2f\">%d inliers</text>\n", x, y,
                          result.geometry.gruber_counts[region]);
        }
    }
    out += "</g>\n";
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
// were not computed. A warning that --image1 is not photograph 1 follows.
std::vector<std::string> CaptionLines(const ro::OrientationResult& r, const RunInfo& run) {
    const bool oriented = r.outcome == ro::Outcome::oriented;
    int counts[3] = {0, 0, 0};
    for (const ro::PointResult& p : r.points) ++counts[static_cast<int>(p.status)];
    std::vector<std::string> lines;
    lines.push_back(std::string("orient ") + Version() + "   " + run.keys1_file + " / " +
                    run.keys2_file + (oriented ? "   oriented" : ""));
    const std::string points =
        Format("%d tie points: %d inliers, %d rejected by the robust loop, %d by data snooping",
               r.matches, counts[0], counts[1], counts[2]);
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
    for (const ro::Warning& w : r.warnings) {
        if (w.code == kImage1SizeCode) lines.push_back("warning: " + w.message);
    }
    return lines;
}

void Caption(std::string& out, const std::vector<std::string>& lines, double x, double y,
             double font) {
    out += Format(
        "<g font-family=\"sans-serif\" font-size=\"%.2f\" fill=\"black\" "
        "xml:space=\"preserve\">\n",
        font);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        out +=
            Format("<text x=\"%.2f\" y=\"%.2f\">", x, y + static_cast<double>(k + 1) * 1.4 * font) +
            Escape(lines[k]) + "</text>\n";
    }
    // The legend: one dot per kind of point.
    const double ly = y + static_cast<double>(lines.size() + 1) * 1.4 * font;
    const char* names[] = {"inlier", "rejected by the robust loop", "rejected by data snooping"};
    const char* colours[] = {kInlierColour, kRansacOutlierColour, kSnoopedColour};
    double lx = x;
    for (int k = 0; k < 3; ++k) {
        out += Format("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"%s\"/>\n", lx + 0.4 * font,
                      ly - 0.35 * font, 0.4 * font, colours[k]);
        out += Format("<text x=\"%.2f\" y=\"%.2f\">%s</text>\n", lx + 1.2 * font, ly, names[k]);
        lx += (1.2 + 0.55 * static_cast<double>(std::string(names[k]).size()) + 2.0) * font;
    }
    out += "</g>\n";
}

}  // namespace

std::string PlotSvg(const ro::OrientationResult& result, const RunInfo& run,
                    const PlotPhotograph* photograph) {
    const Box frame = FrameOf(run, photograph);
    const Box extent = ExtentOf(frame, result);
    const double size = std::max(extent.Width(), extent.Height());
    const double font = std::max(8.0, frame.Width() / 70.0);
    const double stroke = std::max(0.5, size / 1500.0);
    const double radius = std::max(1.5, size / 400.0);
    const std::vector<std::string> caption_lines = CaptionLines(result, run);
    // The lines of text, the legend and a margin below it.
    const double caption = static_cast<double>(caption_lines.size() + 2) * 1.4 * font;
    // Exaggeration: the RMS y-parallax is drawn as 3 % of the frame's width.
    const double rms = result.adjustment.y_parallax_rms_px;
    const double scale = rms > 0.0 && std::isfinite(rms) ? 0.03 * frame.Width() / rms : 1.0;
    const double bar_px = RoundLength(0.08 * frame.Height() / scale);

    std::string out;
    // The photograph in base64 plus about 200 bytes per tie point: one allocation for all.
    out.reserve((photograph != nullptr ? (photograph->bytes.size() + 2) / 3 * 4 : 0) +
                200 * result.points.size() + 4096);
    out += Format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"%.0f\" height=\"%.0f\" viewBox=\"%.2f %.2f %.2f %.2f\">\n",
        std::ceil(extent.Width()), std::ceil(extent.Height() + caption), extent.x0, extent.y0,
        extent.Width(), extent.Height() + caption);
    out += "<title>Tie points and y-parallaxes on photograph 1</title>\n";
    out += Format("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"white\"/>\n",
                  extent.x0, extent.y0, extent.Width(), extent.Height() + caption);
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
        frame.x0, frame.y0, frame.Width(), frame.Height(), 2.0 * stroke);
    GruberGrid(out, result, font, stroke);
    Parallaxes(out, result, scale, stroke);
    if (rms > 0.0 && std::isfinite(rms)) ScaleBar(out, frame, scale, bar_px, font, stroke);
    Points(out, result, ro::PointStatus::ransac_outlier, kRansacOutlierColour, radius);
    Points(out, result, ro::PointStatus::snooped, kSnoopedColour, radius);
    Points(out, result, ro::PointStatus::inlier, kInlierColour, radius);
    Caption(out, caption_lines, extent.x0 + font, extent.y1, font);
    out += "</svg>\n";
    return out;
}

}  // namespace orient
