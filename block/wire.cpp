#include "block/wire.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>
#include <variant>

#include "camera/camera_file.h"

namespace block {
namespace {

using Json = nlohmann::json;

// Reads the fields of one CBOR map, naming the message and the field in every refusal.
class Fields {
  public:
    Fields(const Json& json, std::string what) : json_(json), what_(std::move(what)) {
        if (!json_.is_object()) throw WireError(what_ + " is not a map");
    }

    const Json& At(const char* key) const {
        const auto found = json_.find(key);
        if (found == json_.end()) throw Refusal(key, "is missing");
        return *found;
    }

    std::int64_t Int(const char* key, std::int64_t min, std::int64_t max) const {
        const Json& v = At(key);
        if (!v.is_number_integer()) throw Refusal(key, "is not a whole number");
        // An unsigned value above the range of int64 is refused before its conversion.
        if (v.is_number_unsigned() &&
            v.get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            throw Refusal(key, "is out of range");
        }
        const auto value = v.get<std::int64_t>();
        if (value < min || value > max) throw Refusal(key, "is out of range");
        return value;
    }

    int SmallInt(const char* key, int min) const {
        return static_cast<int>(Int(key, min, std::numeric_limits<int>::max()));
    }

    std::uint64_t Unsigned(const char* key) const {
        const Json& v = At(key);
        if (!v.is_number_unsigned()) throw Refusal(key, "is not a whole number from 0");
        return v.get<std::uint64_t>();
    }

    double Double(const char* key) const {
        const Json& v = At(key);
        if (!v.is_number()) throw Refusal(key, "is not a number");
        return v.get<double>();
    }

    bool Bool(const char* key) const {
        const Json& v = At(key);
        if (!v.is_boolean()) throw Refusal(key, "is not true or false");
        return v.get<bool>();
    }

    std::string String(const char* key) const {
        const Json& v = At(key);
        if (!v.is_string()) throw Refusal(key, "is not text");
        return v.get<std::string>();
    }

    const Json& Array(const char* key) const {
        const Json& v = At(key);
        if (!v.is_array()) throw Refusal(key, "is not a list");
        return v;
    }

    WireError Refusal(const char* key, const std::string& problem) const {
        return WireError(what_ + ": '" + key + "' " + problem);
    }

  private:
    const Json& json_;
    std::string what_;
};

// Maps and lists nested deeper than this are refused: the messages nest three deep, and the
// parser's recursion must not run out of stack on hostile bytes.
constexpr int kMaxDepth = 8;

// The document parser with a bound on nesting.
class BoundedParser {
  public:
    using Dom = nlohmann::detail::json_sax_dom_parser<Json>;
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    explicit BoundedParser(Json& root) : dom_(root, false) {}

    bool null() { return dom_.null(); }
    bool boolean(bool v) { return dom_.boolean(v); }
    bool number_integer(number_integer_t v) { return dom_.number_integer(v); }
    bool number_unsigned(number_unsigned_t v) { return dom_.number_unsigned(v); }
    bool number_float(number_float_t v, const string_t& s) { return dom_.number_float(v, s); }
    bool string(string_t& v) { return dom_.string(v); }
    bool binary(binary_t& v) { return dom_.binary(v); }
    bool start_object(std::size_t n) { return Deeper() && dom_.start_object(n); }
    bool key(string_t& v) { return dom_.key(v); }
    bool end_object() { return --depth_, dom_.end_object(); }
    bool start_array(std::size_t n) { return Deeper() && dom_.start_array(n); }
    bool end_array() { return --depth_, dom_.end_array(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }
    bool too_deep() const { return too_deep_; }

  private:
    bool Deeper() {
        if (++depth_ <= kMaxDepth) return true;
        too_deep_ = true;
        return false;
    }
    Dom dom_;
    int depth_ = 0;
    bool too_deep_ = false;
};

Json Parse(std::span<const std::uint8_t> bytes, const std::string& what) {
    Json json;
    BoundedParser parser(json);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(bytes.begin(), bytes.end(), &parser,
                                 nlohmann::json::input_format_t::cbor, true);
    } catch (const Json::exception&) {
        parsed = false;
    }
    if (parser.too_deep()) throw WireError(what + " is nested too deep");
    if (!parsed) throw WireError(what + " is not CBOR");
    return json;
}

std::vector<std::uint8_t> Encode(const Json& json) { return Json::to_cbor(json); }

constexpr char kChunk[] = "a chunk of pairs";
constexpr char kPair[] = "a finished pair";

}  // namespace

std::vector<std::uint8_t> EncodeChunk(const ChunkTask& chunk) {
    const ro::EstimationOptions& e = chunk.settings.estimation;
    Json settings = {{"ratio_numerator", chunk.settings.ratio.numerator},
                     {"ratio_denominator", chunk.settings.ratio.denominator},
                     {"mutual", chunk.settings.mutual},
                     {"sigma_px", e.sigma_px},
                     {"threshold_px", e.ransac.threshold_px},
                     {"confidence", e.ransac.confidence},
                     {"min_iterations", e.ransac.min_iterations},
                     {"careful_min_iterations", e.ransac.careful_min_iterations},
                     {"max_iterations", e.ransac.max_iterations},
                     {"seed", e.ransac.seed},
                     {"critical_w", e.adjustment.critical_w},
                     {"max_snooped_share", e.adjustment.max_snooped_share},
                     {"max_adjustment_iterations", e.adjustment.max_iterations}};
    Json photos = Json::array();
    for (const ChunkPhoto& p : chunk.photos) {
        photos.push_back({{"index", p.index},
                          {"key_file", p.key_file},
                          {"key_path", p.key_path},
                          {"camera_file", p.camera_file},
                          {"camera_text", p.camera_text}});
    }
    Json pairs = Json::array();
    for (const ChunkPair& p : chunk.pairs) {
        pairs.push_back(
            {{"photo1", p.photo1}, {"photo2", p.photo2}, {"id1", p.id1}, {"id2", p.id2}});
    }
    return Encode({{"settings", std::move(settings)},
                   {"photos", std::move(photos)},
                   {"pairs", std::move(pairs)}});
}

ChunkTask DecodeChunk(std::span<const std::uint8_t> bytes) {
    const Json json = Parse(bytes, kChunk);
    const Fields chunk(json, kChunk);
    ChunkTask task;
    const Fields s(chunk.At("settings"), std::string(kChunk) + ": settings");
    PairSettings& settings = task.settings;
    settings.ratio.numerator = s.Int("ratio_numerator", 1, std::int64_t{1000000000});
    settings.ratio.denominator = s.Int("ratio_denominator", 1, std::int64_t{1000000000});
    if (settings.ratio.numerator > settings.ratio.denominator) {
        throw s.Refusal("ratio_numerator", "is above the denominator");
    }
    settings.mutual = s.Bool("mutual");
    ro::EstimationOptions& e = settings.estimation;
    e.sigma_px = s.Double("sigma_px");
    e.ransac.threshold_px = s.Double("threshold_px");
    e.ransac.confidence = s.Double("confidence");
    e.ransac.min_iterations = s.SmallInt("min_iterations", 0);
    e.ransac.careful_min_iterations = s.SmallInt("careful_min_iterations", 0);
    e.ransac.max_iterations = s.SmallInt("max_iterations", 0);
    e.ransac.seed = s.Unsigned("seed");
    e.adjustment.critical_w = s.Double("critical_w");
    e.adjustment.max_snooped_share = s.Double("max_snooped_share");
    e.adjustment.max_iterations = s.SmallInt("max_adjustment_iterations", 0);
    if (!std::isfinite(e.ransac.threshold_px) || e.ransac.threshold_px < 0.0) {
        throw s.Refusal("threshold_px", "is not a number of pixels");
    }
    if (const std::string problem = ro::CheckOptions(e); !problem.empty()) {
        throw WireError(std::string(kChunk) + ": settings: " + problem);
    }

    std::vector<int> position;  // of each block photograph in task.photos; -1 none
    for (const Json& item : chunk.Array("photos")) {
        const Fields p(item, std::string(kChunk) + ": a photograph");
        ChunkPhoto photo;
        photo.index = p.SmallInt("index", 0);
        photo.key_file = p.String("key_file");
        photo.key_path = p.String("key_path");
        photo.camera_file = p.String("camera_file");
        photo.camera_text = p.String("camera_text");
        if (photo.key_file.empty()) throw p.Refusal("key_file", "is empty");
        if (photo.key_path.empty()) throw p.Refusal("key_path", "is empty");
        if (photo.camera_file.empty()) {
            photo.camera = ro::BuiltInCamera();
        } else {
            const ro::CameraFileResult camera = ro::ParseCameraText(photo.camera_text);
            if (const auto* error = std::get_if<ro::CameraFileError>(&camera)) {
                throw p.Refusal("camera_text", "is not a camera file: " + error->reason);
            }
            photo.camera = std::get<ro::Camera>(camera);
        }
        const auto at = static_cast<std::size_t>(photo.index);
        // Photograph numbers are bounded by the photographs listed, so the table stays small.
        if (at >= bytes.size()) throw p.Refusal("index", "is out of range");
        if (position.size() <= at) position.resize(at + 1, -1);
        if (position[at] >= 0) throw p.Refusal("index", "is given twice");
        position[at] = static_cast<int>(task.photos.size());
        task.photos.push_back(std::move(photo));
    }
    const auto known = [&](int index) {
        return static_cast<std::size_t>(index) < position.size() &&
               position[static_cast<std::size_t>(index)] >= 0;
    };
    for (const Json& item : chunk.Array("pairs")) {
        const Fields p(item, std::string(kChunk) + ": a pair");
        ChunkPair pair;
        pair.photo1 = p.SmallInt("photo1", 0);
        pair.photo2 = p.SmallInt("photo2", 0);
        pair.id1 = p.SmallInt("id1", 1);
        pair.id2 = p.SmallInt("id2", 1);
        if (pair.photo1 >= pair.photo2) throw p.Refusal("photo2", "is not after photo1");
        if (!known(pair.photo1) || !known(pair.photo2)) {
            throw p.Refusal(known(pair.photo1) ? "photo2" : "photo1",
                            "is not a photograph of the chunk");
        }
        task.pairs.push_back(pair);
    }
    return task;
}

std::vector<std::uint8_t> EncodePair(const PairMessage& pair) {
    const PairRow& r = pair.row;
    Json values = Json::array();
    for (double v : r.values) values.push_back(v);
    return Encode({{"photo1", pair.photo1},
                   {"photo2", pair.photo2},
                   {"id1", r.photo1},
                   {"id2", r.photo2},
                   {"outcome", r.outcome},
                   {"oriented", r.oriented},
                   {"reason", r.reason},
                   {"matches", r.matches},
                   {"inliers", r.inliers},
                   {"snooped", r.snooped},
                   {"values", std::move(values)},
                   {"adjusted", r.adjusted},
                   {"covariance", r.covariance_json},
                   {"sigma0_px", r.sigma0_px},
                   {"chi2_ratio", r.chi2_ratio},
                   {"chi2_accepted", r.chi2_accepted},
                   {"warnings", r.warnings},
                   {"seconds", r.seconds},
                   {"report", r.report_json},
                   {"tie_points", Json::binary(r.tie_points)}});
}

PairMessage DecodePair(std::span<const std::uint8_t> bytes) {
    const Json json = Parse(bytes, kPair);
    const Fields f(json, kPair);
    PairMessage pair;
    PairRow& r = pair.row;
    pair.photo1 = f.SmallInt("photo1", 0);
    pair.photo2 = f.SmallInt("photo2", 0);
    if (pair.photo1 >= pair.photo2) throw f.Refusal("photo2", "is not after photo1");
    r.photo1 = f.SmallInt("id1", 1);
    r.photo2 = f.SmallInt("id2", 1);
    r.outcome = f.String("outcome");
    if (r.outcome.empty()) throw f.Refusal("outcome", "is empty");
    r.oriented = f.Bool("oriented");
    r.reason = f.String("reason");
    r.matches = f.SmallInt("matches", 0);
    r.inliers = f.SmallInt("inliers", 0);
    r.snooped = f.SmallInt("snooped", 0);
    const Json& values = f.Array("values");
    if (values.size() != r.values.size()) throw f.Refusal("values", "does not hold 16 numbers");
    for (std::size_t k = 0; k < r.values.size(); ++k) {
        if (!values[k].is_number()) throw f.Refusal("values", "does not hold 16 numbers");
        r.values[k] = values[k].get<double>();
    }
    r.adjusted = f.Bool("adjusted");
    r.covariance_json = f.String("covariance");
    r.sigma0_px = f.Double("sigma0_px");
    r.chi2_ratio = f.Double("chi2_ratio");
    r.chi2_accepted = f.Bool("chi2_accepted");
    for (const Json& code : f.Array("warnings")) {
        if (!code.is_string()) throw f.Refusal("warnings", "is not a list of codes");
        r.warnings.push_back(code.get<std::string>());
    }
    r.seconds = f.Double("seconds");
    r.report_json = f.String("report");
    const Json& ties = f.At("tie_points");
    if (!ties.is_binary()) throw f.Refusal("tie_points", "is not bytes");
    const Json::binary_t& blob = ties.get_binary();
    if (blob.size() % kTiePointBytes != 0) {
        throw f.Refusal("tie_points", "is not a whole number of tie points");
    }
    r.tie_points.assign(blob.begin(), blob.end());
    return pair;
}

}  // namespace block
