// The command line of `orient`: CLI11 reads the options as text, the values are converted
// and checked here so that every refusal names the option and the value.
#include "orient/command_line.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "io/file_identity.h"
#include "orient/run_info.h"

namespace orient {
namespace {

constexpr char kTryHelp[] = "Try 'orient --help' for more information.\n";

// A usage error found after CLI11's own checks.
struct UsageError {
    std::string message;
};

// The options as CLI11 hands them over, before conversion.
struct OptionTexts {
    std::string ratio;
    std::string seed;
    std::string threads;
    std::string sigma;
    std::string threshold;
    std::string confidence;
};

// A whole number in decimal digits only (no sign, no blanks) that fits 64 bits.
std::optional<std::uint64_t> ParseWhole(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
    return value;
}

// A finite decimal number filling the whole text.
std::optional<double> ParseDecimal(const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string Quoted(const std::string& option, const std::string& value, const char* what) {
    return option + ": '" + value + "' " + what;
}

double DecimalOption(const std::string& option, const std::string& text) {
    const std::optional<double> value = ParseDecimal(text);
    if (!value) throw UsageError{Quoted(option, text, "is not a number")};
    return *value;
}

void ConvertValues(const OptionTexts& texts, OrientOptions& options) {
    if (!texts.ratio.empty()) {
        const std::optional<keypoints::DistanceRatio> ratio =
            keypoints::ParseDistanceRatio(texts.ratio);
        if (!ratio) {
            throw UsageError{
                Quoted("--ratio", texts.ratio, "is not a ratio in (0, 1] with at most 9 decimals")};
        }
        options.ratio = *ratio;
    }
    if (!texts.seed.empty()) {
        const std::optional<std::uint64_t> seed = ParseWhole(texts.seed);
        if (!seed) {
            throw UsageError{Quoted("--seed", texts.seed,
                                    "is not a whole number from 0 to 18446744073709551615")};
        }
        options.estimation.seed = *seed;
    }
    if (!texts.threads.empty()) {
        const std::optional<std::uint64_t> threads = ParseWhole(texts.threads);
        if (!threads || *threads < 1 || *threads > static_cast<std::uint64_t>(kMaxThreads)) {
            throw UsageError{
                Quoted("--threads", texts.threads, "is not a whole number from 1 to 256")};
        }
        options.threads = static_cast<int>(*threads);
    }
    if (!texts.sigma.empty()) options.estimation.sigma_px = DecimalOption("--sigma", texts.sigma);
    if (!texts.threshold.empty()) {
        options.estimation.threshold_px = DecimalOption("--threshold", texts.threshold);
        // 0 means "4 sigma" inside the library; on the command line it is no threshold.
        if (!(options.estimation.threshold_px > 0.0)) {
            throw UsageError{"the threshold must be a positive number of pixels"};
        }
    }
    if (!texts.confidence.empty()) {
        options.estimation.confidence = DecimalOption("--confidence", texts.confidence);
    }
    const std::string problem = ro::CheckOptions(options.estimation);
    if (!problem.empty()) throw UsageError{problem};
}

// Outputs must not overwrite each other or an input.
void CheckOutputs(const OrientOptions& o) {
    const std::vector<std::pair<const char*, const std::string*>> outputs = {
        {"--json", &o.json_file}, {"--points", &o.points_file}, {"--plot", &o.plot_file}};
    for (std::size_t a = 0; a < outputs.size(); ++a) {
        const auto& [option, file] = outputs[a];
        if (file->empty()) continue;
        for (std::size_t b = a + 1; b < outputs.size(); ++b) {
            const std::string& other = *outputs[b].second;
            if (other.empty()) continue;
            if (*file == "-" && other == "-") {
                throw UsageError{std::string(option) + " and " + outputs[b].first +
                                 " cannot both write to standard output"};
            }
            if (*file != "-" && other != "-" && io::WouldOverwrite(*file, other)) {
                throw UsageError{std::string(option) + " and " + outputs[b].first +
                                 " cannot write to the same file"};
            }
        }
        if (*file == "-") continue;
        for (const std::string* input :
             {&o.keys1_file, &o.keys2_file, &o.camera1_file, &o.camera2_file, &o.image1_file}) {
            // Keypoint files are read by name, "-" included; the others take "-" for
            // standard input.
            const bool by_name = input == &o.keys1_file || input == &o.keys2_file;
            const std::string path = by_name && *input == "-" ? "./-" : *input;
            if (!input->empty() && io::WouldOverwrite(*file, path)) {
                throw UsageError{std::string(option) + " would overwrite the input file " + *input};
            }
        }
    }
    // Standard input holds one file.
    const std::vector<std::pair<const char*, const std::string*>> stdin_inputs = {
        {"--camera", &o.camera1_file},
        {"--camera2", &o.camera2_file},
        {"--image1", &o.image1_file}};
    const char* first_reader = nullptr;
    for (const auto& [option, file] : stdin_inputs) {
        if (*file != "-") continue;
        if (first_reader) {
            throw UsageError{std::string(first_reader) + " and " + option +
                             " cannot both read standard input"};
        }
        first_reader = option;
    }
    if (!o.image1_file.empty() && o.plot_file.empty()) {
        throw UsageError{"--image1 draws the plot over photograph 1: it needs --plot"};
    }
}

void DefineOptions(CLI::App& app, OrientOptions& o, OptionTexts& t) {
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", std::string("orient ") + Version(),
                         "Print the version and exit");
    app.add_option("img1.key", o.keys1_file, "Keypoint file of photograph 1")
        ->required()
        ->type_name("");
    app.add_option("img2.key", o.keys2_file,
                   "Keypoint file of photograph 2, oriented relative to photograph 1")
        ->required()
        ->type_name("");
    app.add_option(
           "--camera", o.camera1_file,
           "Camera file of photograph 1, '-': standard input (default: the built-in camera)")
        ->type_name("FILE");
    app.add_option(
           "--camera2", o.camera2_file,
           "Camera file of photograph 2, '-': standard input (default: the camera of photograph 1)")
        ->type_name("FILE");
    app.add_option("--ratio", t.ratio,
                   "Distance ratio of the matching test, in (0, 1] (default 0.6)")
        ->type_name("R");
    app.add_flag("--mutual", o.mutual, "Keep only matches that are mutual nearest neighbours")
        ->disable_flag_override();
    app.add_option("--seed", t.seed, "Seed of the robust loop's random samples (default 42)")
        ->type_name("N");
    app.add_option("--threads", t.threads,
                   "Threads for matching and the robust loop (default: all cores)")
        ->type_name("N");
    app.add_option("--sigma", t.sigma,
                   "A-priori precision of one image coordinate, pixels (default 0.5)")
        ->type_name("PX");
    app.add_option("--threshold", t.threshold,
                   "Sampson-error threshold of the robust loop, pixels (default 4 sigma)")
        ->type_name("PX");
    app.add_option("--confidence", t.confidence,
                   "Confidence at which the robust loop stops (default 0.9999)")
        ->type_name("P");
    app.add_option("--json", o.json_file, "Write every result as JSON ('-': standard output)")
        ->type_name("FILE");
    app.add_option("--points", o.points_file,
                   "Write one CSV row per tie point ('-': standard output)")
        ->type_name("FILE");
    app.add_option(
           "--plot", o.plot_file,
           "Draw the tie points and y-parallaxes on photograph 1 as SVG ('-': standard output)")
        ->type_name("FILE.svg");
    app.add_option("--image1", o.image1_file,
                   "Photograph 1 (PNG or JPEG, '-': standard input) to draw the plot over, "
                   "embedded in the SVG")
        ->type_name("PHOTO");
    app.add_flag("--quiet", o.quiet, "Print no report on standard output")->disable_flag_override();
    app.footer(
        "The report goes to standard output unless --quiet is given or --json, --points or\n"
        "--plot writes there. The output is the same for every thread count.\n"
        "Exit status: 0 orientation found; 1 a file could not be read, parsed or written;\n"
        "2 wrong usage; 3 no reliable orientation (the report says why).");
}

}  // namespace

int DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores < 1) return 1;
    return cores > static_cast<unsigned>(kMaxThreads) ? kMaxThreads : static_cast<int>(cores);
}

CommandLine ParseCommandLine(int argc, const char* const* argv, int default_threads) {
    CommandLine line;
    line.options.threads = default_threads;
    OptionTexts texts;
    CLI::App app(
        "Robust relative orientation of two photographs from their keypoint files, "
        "with the precision of the five elements.",
        "orient");
    DefineOptions(app, line.options, texts);
    try {
        app.parse(argc, argv);
        ConvertValues(texts, line.options);
        CheckOutputs(line.options);
    } catch (const CLI::CallForHelp&) {
        line.out = app.help();
        return line;
    } catch (const CLI::CallForVersion& version) {
        line.out = std::string(version.what()) + "\n";
        return line;
    } catch (const CLI::ParseError& error) {
        line.status = 2;
        line.err = std::string("orient: ") + error.what() + "\n" + kTryHelp;
        return line;
    } catch (const UsageError& error) {
        line.status = 2;
        line.err = "orient: " + error.message + "\n" + kTryHelp;
        return line;
    }
    line.run = true;
    return line;
}

}  // namespace orient
