// The command line of `orient`, read by CLI11 into typed values. Every value is checked by
// a validator (of this file or of command_line/) before CLI11 converts it, so that every
// refusal names the option and the value in this program's words; an empty value is
// refused, never taken as "not given" or as zero.
#include "orient/command_line.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <vector>

#include "command_line/estimation_options.h"
#include "command_line/parse_outcome.h"
#include "command_line/validators.h"
#include "common/thread_pool.h"
#include "io/file_identity.h"
#include "io/output_target.h"
#include "orient/run.h"
#include "pair_run/run_info.h"

namespace orient {
namespace {

// The usage line shows both forms of the input, which CLI11 cannot say of two optional
// positionals.
class UsageFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* /*app*/, std::string name) const override {
        return "Usage: " + name + " [OPTIONS] img1.key img2.key\n       " + name +
               " [OPTIONS] --tie-points FILE.csv\n";
    }
};

// An output named by a path that is standard output (/dev/stdout, the file standard output
// was redirected to) is written as "-": alone on the stream, in place of the report.
void NameStandardOutput(OrientOptions& o) {
    for (std::string* file : {&o.json_file, &o.points_file, &o.plot_file}) {
        if (!file->empty() && io::IsStandardOutput(*file)) *file = "-";
    }
}

// Either two key files or --tie-points; the matching options only with key files.
void CheckInputs(const CLI::App& app, const OrientOptions& o) {
    if (!o.tie_points_file.empty()) {
        if (!o.keys1_file.empty()) {
            throw command_line::UsageError(
                "--tie-points replaces the key files: give img1.key img2.key or "
                "--tie-points FILE, not both");
        }
        for (const char* option : {"--ratio", "--mutual"}) {
            if (app.get_option(option)->count() > 0) {
                throw command_line::UsageError(
                    std::string(option) +
                    " tunes the matching of key files: tie points are already "
                    "matched (--tie-points)");
            }
        }
        return;
    }
    if (o.keys1_file.empty())
        throw command_line::UsageError("give img1.key img2.key, or --tie-points FILE");
    if (o.keys2_file.empty()) throw command_line::UsageError("img2.key is required");
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
                throw command_line::UsageError(std::string(option) + " and " + outputs[b].first +
                                               " cannot both write to standard output");
            }
            if (*file != "-" && other != "-" && io::WouldOverwrite(*file, other)) {
                throw command_line::UsageError(std::string(option) + " and " + outputs[b].first +
                                               " cannot write to the same file");
            }
        }
        if (*file == "-") continue;
        for (const std::string* input : {&o.keys1_file, &o.keys2_file, &o.tie_points_file,
                                         &o.camera1_file, &o.camera2_file, &o.image1_file}) {
            if (!input->empty() && io::WouldOverwrite(*file, *input)) {
                throw command_line::UsageError(std::string(option) +
                                               " would overwrite the input file " + *input);
            }
        }
    }
    // Standard input holds one file.
    const std::vector<std::pair<const char*, const std::string*>> stdin_inputs = {
        {"img1.key", &o.keys1_file},          {"img2.key", &o.keys2_file},
        {"--tie-points", &o.tie_points_file}, {"--camera", &o.camera1_file},
        {"--camera2", &o.camera2_file},       {"--image1", &o.image1_file}};
    const char* first_reader = nullptr;
    for (const auto& [option, file] : stdin_inputs) {
        if (*file != "-") continue;
        if (first_reader) {
            throw command_line::UsageError(std::string(first_reader) + " and " + option +
                                           " cannot both read standard input");
        }
        first_reader = option;
    }
    if (!o.image1_file.empty() && o.plot_file.empty()) {
        throw command_line::UsageError(
            "--image1 draws the plot over photograph 1: it needs --plot");
    }
}

// The options; returns --threshold, whose value is checked once parsing is done.
CLI::Option* DefineOptions(CLI::App& app, OrientOptions& o) {
    const CLI::Validator file_name = command_line::NotEmptyFileName();
    // CLI11 looks at its own help flag only after every option's validators have run; this
    // one, defined first, is answered before any of them, so that --help always helps.
    app.set_help_flag();
    app.add_flag_callback(
        "-h,--help", [] { throw CLI::CallForHelp(); }, "Print this help and exit");
    app.set_version_flag("--version", std::string("orient ") + pair_run::Version(),
                         "Print the version and exit");
    app.add_option("img1.key", o.keys1_file, "Keypoint file of photograph 1 ('-': standard input)")
        ->type_name("")
        ->check(file_name);
    app.add_option("img2.key", o.keys2_file,
                   "Keypoint file of photograph 2, oriented relative to photograph 1 ('-': "
                   "standard input)")
        ->type_name("")
        ->check(file_name);
    app.add_option("--tie-points", o.tie_points_file,
                   "Tie points matched elsewhere instead of the key files: CSV with the columns "
                   "row1,col1,row2,col2 [,ratio] ('-': standard input)")
        ->type_name("FILE.csv")
        ->check(file_name);
    app.add_option(
           "--camera", o.camera1_file,
           "Camera file of photograph 1, '-': standard input (default: the built-in camera)")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option(
           "--camera2", o.camera2_file,
           "Camera file of photograph 2, '-': standard input (default: the camera of photograph "
           "1)")
        ->type_name("FILE")
        ->check(file_name);
    command_line::AddMatchingOptions(app, o.ratio, o.mutual, o.estimation);
    app.add_option("--threads", o.threads,
                   "Threads for matching and the robust loop (default: all cores)")
        ->type_name("N")
        ->transform(command_line::ThreadCount());
    CLI::Option* threshold = command_line::AddEstimationOptions(app, o.estimation);
    app.add_option("--json", o.json_file, "Write every result as JSON ('-': standard output)")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option("--points", o.points_file,
                   "Write one CSV row per tie point ('-': standard output)")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option(
           "--plot", o.plot_file,
           "Draw the tie points and y-parallaxes on photograph 1 as SVG ('-': standard output)")
        ->type_name("FILE.svg")
        ->check(file_name);
    app.add_option("--image1", o.image1_file,
                   "Photograph 1 (PNG or JPEG, '-': standard input) to draw the plot over, "
                   "embedded in the SVG")
        ->type_name("PHOTO")
        ->check(file_name);
    app.add_flag("--quiet", o.quiet, "Print no report on standard output")->disable_flag_override();
    app.add_flag("--force", o.force,
                 "Replace an existing output file that holds something else (never an input)")
        ->disable_flag_override();
    app.footer(
        "--tie-points reads comma-separated text: a header line naming the columns row1, col1,\n"
        "row2, col2 (pixels, row downwards, column to the right) and optionally ratio, in any\n"
        "order, other columns ignored (a --points file reads back); '#' comment lines.\n"
        "The report goes to standard output unless --quiet is given or --json, --points or\n"
        "--plot writes there ('-', /dev/stdout or the file standard output goes to): then it\n"
        "is not printed. An existing output file is replaced only when it holds the same kind\n"
        "of content (JSON, CSV, SVG), or with --force. The output is the same for every\n"
        "thread count.\n"
        "Exit status: 0 orientation found; 1 a file could not be read, parsed or written;\n"
        "2 wrong usage; 3 no reliable orientation (the report says why).");
    return threshold;
}

}  // namespace

int DefaultThreads() { return common::HardwareThreads(); }

CommandLine ParseCommandLine(int argc, const char* const* argv, int default_threads) {
    CommandLine line;
    line.options.threads = default_threads;
    CLI::App app(
        "Robust relative orientation of two photographs from their keypoint files or from tie "
        "points matched elsewhere, with the precision of the five elements.",
        "orient");
    app.formatter(std::make_shared<UsageFormatter>());
    const CLI::Option* threshold = DefineOptions(app, line.options);
    const command_line::ParseOutcome outcome = command_line::ParseOrExit(
        "orient",
        [&] {
            app.parse(argc, argv);
            const std::string problem =
                command_line::CheckEstimationOptions(threshold, line.options.estimation);
            if (!problem.empty()) throw command_line::UsageError(problem);
            CheckInputs(app, line.options);
            NameStandardOutput(line.options);
            CheckOutputs(line.options);
        },
        [&] { return app.help(); });
    command_line::TakeOutcome(outcome, line);
    return line;
}

}  // namespace orient
