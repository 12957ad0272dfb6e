// The command line of `orient`, read by CLI11 into typed values. Every value is checked by
// a validator (of this file or of command_line/) before CLI11 converts it, so that every
// refusal names the option and the value in this program's words; an empty value is
// refused, never taken as "not given" or as zero.
#include "orient/command_line.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <vector>

#include "command_line/estimation_options.h"
#include "command_line/validators.h"
#include "common/thread_pool.h"
#include "io/file_identity.h"
#include "io/output_target.h"
#include "orient/run.h"
#include "pair_run/run_info.h"

namespace orient {
namespace {

constexpr char kTryHelp[] = "Try 'orient --help' for more information.\n";

// A usage error found after CLI11's own checks.
struct UsageError {
    std::string message;
};

// An output named by a path that is standard output (/dev/stdout, the file standard output
// was redirected to) is written as "-": alone on the stream, in place of the report.
void NameStandardOutput(OrientOptions& o) {
    for (std::string* file : {&o.json_file, &o.points_file, &o.plot_file}) {
        if (!file->empty() && io::IsStandardOutput(*file)) *file = "-";
    }
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
            if (!input->empty() && io::WouldOverwrite(*file, *input)) {
                throw UsageError{std::string(option) + " would overwrite the input file " + *input};
            }
        }
    }
    // Standard input holds one file.
    const std::vector<std::pair<const char*, const std::string*>> stdin_inputs = {
        {"img1.key", &o.keys1_file},
        {"img2.key", &o.keys2_file},
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
        ->required()
        ->type_name("")
        ->check(file_name);
    app.add_option("img2.key", o.keys2_file,
                   "Keypoint file of photograph 2, oriented relative to photograph 1 ('-': "
                   "standard input)")
        ->required()
        ->type_name("")
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
        "Robust relative orientation of two photographs from their keypoint files, "
        "with the precision of the five elements.",
        "orient");
    const CLI::Option* threshold = DefineOptions(app, line.options);
    try {
        app.parse(argc, argv);
        const std::string problem =
            command_line::CheckEstimationOptions(threshold, line.options.estimation);
        if (!problem.empty()) throw UsageError{problem};
        NameStandardOutput(line.options);
        CheckOutputs(line.options);
    } catch (const CLI::CallForHelp&) {
        line.out = app.help();
        return line;
    } catch (const CLI::CallForVersion& version) {
        line.out = std::string(version.what()) + "\n";
        return line;
    } catch (const CLI::ParseError& error) {
        line.status = kUsageError;
        line.err = std::string("orient: ") + error.what() + "\n" + kTryHelp;
        return line;
    } catch (const UsageError& error) {
        line.status = kUsageError;
        line.err = "orient: " + error.message + "\n" + kTryHelp;
        return line;
    }
    line.run = true;
    return line;
}

}  // namespace orient
