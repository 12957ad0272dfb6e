#include "block/export.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>

namespace block {
namespace {

using Json = nlohmann::ordered_json;

// A number as the JSON exports write it (the shortest text that reads back to the same
// double); empty when not finite.
std::string Number(double value) { return std::isfinite(value) ? Json(value).dump() : ""; }

// A number of a report (null, a missing field or not a number: empty).
std::string Field(const Json& report, const Json::json_pointer& where) {
    if (!report.contains(where)) return "";
    const Json& value = report.at(where);
    if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
    return value.is_number() ? Number(value.get<double>()) : "";
}

std::string Quoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

// Appends one field after a comma.
void Add(std::string& row, const std::string& field) {
    row += ',';
    row += field;
}

}  // namespace

std::string PairsJsonLines(const std::vector<Photograph>& /*photographs*/,
                           const std::vector<StoredPair>& pairs) {
    std::string out;
    for (const StoredPair& p : pairs) {
        Json line;
        line["pair"] = {{"photo1", p.name1}, {"photo2", p.name2}};
        const Json report = Json::parse(p.report_json, nullptr, false);
        if (report.is_object()) {
            for (const auto& [key, value] : report.items()) line[key] = value;
        } else {
            line["outcome"] = {{"code", p.outcome}};
        }
        out += line.dump(-1, ' ', false, Json::error_handler_t::replace);
        out += '\n';
    }
    return out;
}

std::string PairsCsv(const std::vector<Photograph>& /*photographs*/,
                     const std::vector<StoredPair>& pairs) {
    static const std::array<const char*, 5> kElements = {"by", "bz", "omega_deg", "phi_deg",
                                                         "kappa_deg"};
    std::string out = std::string(kPairsCsvHeader) + "\n";
    for (const StoredPair& p : pairs) {
        Json report = Json::parse(p.report_json, nullptr, false);
        if (!report.is_object()) report = Json::object();
        std::string row = Quoted(p.name1);
        Add(row, Quoted(p.name2));
        Add(row, Quoted(p.outcome));
        Add(row, std::to_string(p.matches));
        Add(row, std::to_string(p.inliers));
        Add(row, std::to_string(p.snooped));
        for (const char* element : kElements) {
            const std::string at = std::string("/elements/") + element;
            Add(row, Field(report, Json::json_pointer(at + "/value")));
            Add(row, Field(report, Json::json_pointer(at + "/sigma")));
        }
        for (const char* part : {"/base_direction/value/", "/base_direction/sigma/"}) {
            for (const char* k : {"0", "1", "2"}) {
                Add(row, Field(report, Json::json_pointer(std::string(part) + k)));
            }
        }
        Add(row, Number(p.sigma0_px));
        Add(row, Field(report, Json::json_pointer("/adjustment/chi2_test/ratio")));
        Add(row, Field(report, Json::json_pointer("/adjustment/chi2_test/accepted")));
        std::string warnings;
        for (const std::string& w : p.warnings) {
            if (!warnings.empty()) warnings += ' ';
            warnings += w;
        }
        Add(row, Quoted(warnings));
        Add(row, Number(p.seconds));
        out += row;
        out += '\n';
    }
    return out;
}

}  // namespace block
