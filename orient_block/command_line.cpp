// The command line of `orient-block`, read by CLI11. Values are checked by the shared
// validators before CLI11 converts them, so that refusals name the option and the value in
// the same words as orient's.
#include "orient_block/command_line.h"

#include <CLI/CLI.hpp>
#include <cstdint>

#include "command_line/block_options.h"
#include "command_line/estimation_options.h"
#include "command_line/parse_outcome.h"
#include "command_line/validators.h"
#include "io/file_identity.h"
#include "io/output_target.h"
#include "pair_run/run_info.h"

namespace orient_block {
namespace {

// Most --cache-mb accepted: 1 TiB.
constexpr std::uint64_t kMaxCacheMb = std::uint64_t{1} << 20;

void DefineRun(CLI::App& app, CommandLine& line, std::uint64_t& cache_mb) {
    block::BlockRequest& r = line.request;
    command_line::AddBlockInputs(app, r, line.key_list);
    app.add_option("--cache-mb", cache_mb, "Memory for parsed key files, megabytes (default 1024)")
        ->type_name("MB")
        ->transform(command_line::WholeNumber(1, kMaxCacheMb));
    command_line::AddMatchingOptions(app, r.settings.ratio, r.settings.mutual,
                                     r.settings.estimation);
    app.add_option("--threads", r.threads, "Threads (default: all cores)")
        ->type_name("N")
        ->transform(command_line::ThreadCount());
    command_line::AddBlockQuiet(app, r.quiet);
}

void DefineExport(CLI::App& sub, ExportOptions& e) {
    const CLI::Validator file_name = command_line::NotEmptyFileName();
    sub.add_option("--db", e.database, "The block's database")
        ->type_name("FILE")
        ->required()
        ->check(file_name);
    sub.add_option("--json", e.json_file,
                   "Every pair's JSON document, one per line ('-': standard output)")
        ->type_name("OUT")
        ->check(file_name);
    sub.add_option("--csv", e.csv_file, "One CSV row per pair ('-': standard output)")
        ->type_name("OUT")
        ->check(file_name);
    sub.add_option("--svg", e.svg_file, "The pair matrix as SVG ('-': standard output)")
        ->type_name("OUT")
        ->check(file_name);
    sub.add_flag("--force", e.force, "Replace an existing output file that holds something else")
        ->disable_flag_override();
}

void CheckExport(ExportOptions& e) {
    const std::pair<const char*, std::string*> outputs[] = {
        {"--json", &e.json_file}, {"--csv", &e.csv_file}, {"--svg", &e.svg_file}};
    int given = 0;
    for (const auto& [option, file] : outputs) {
        if (!file->empty() && io::IsStandardOutput(*file)) *file = "-";
        if (file->empty()) continue;
        ++given;
        if (*file != "-" && io::WouldOverwrite(*file, e.database)) {
            throw command_line::UsageError(std::string(option) + " would overwrite the database " +
                                           e.database);
        }
        for (const auto& [other_option, other] : outputs) {
            if (other == file || other->empty()) continue;
            if (other > file) continue;  // each pair of outputs once
            if ((*file == "-" && *other == "-") ||
                (*file != "-" && *other != "-" && io::WouldOverwrite(*file, *other))) {
                throw command_line::UsageError(std::string(other_option) + " and " + option +
                                               " cannot write to the same place");
            }
        }
    }
    if (given == 0) {
        throw command_line::UsageError("export writes --json, --csv or --svg: give at least one");
    }
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, int default_threads) {
    CommandLine line;
    line.request.threads = default_threads;
    CLI::App app(
        "Relative orientation of every pair of a block of photographs into a database that a "
        "second run goes on with.",
        "orient-block");
    app.set_help_flag();
    app.add_flag_callback(
        "-h,--help", [] { throw CLI::CallForHelp(); }, "Print this help and exit");
    app.set_version_flag("--version", std::string("orient-block ") + pair_run::Version(),
                         "Print the version and exit");
    std::uint64_t cache_mb = 1024;
    DefineRun(app, line, cache_mb);
    CLI::Option* threshold =
        command_line::AddEstimationOptions(app, line.request.settings.estimation);
    CLI::App* exporter =
        app.add_subcommand("export", "Write the pairs of a database as JSON lines, CSV or SVG");
    exporter->set_help_flag("-h,--help", "Print this help and exit");
    DefineExport(*exporter, line.exports);
    app.footer(
        "Exit status: 0 every pair of the selection is in the database (whatever its outcome);\n"
        "1 an input, the database or an output failed; 2 wrong usage; 130 interrupted (run the\n"
        "same command again to go on).");
    const command_line::ParseOutcome outcome = command_line::ParseOrExit(
        "orient-block",
        [&] {
            app.parse(argc, argv);
            if (exporter->parsed()) {
                line.export_pairs = true;
                CheckExport(line.exports);
            } else {
                const std::string problem =
                    command_line::CheckBlockRun(line.request, line.key_list, threshold);
                if (!problem.empty()) throw command_line::UsageError(problem);
                line.request.cache_bytes = static_cast<std::size_t>(cache_mb) << 20;
            }
        },
        [&] { return exporter->parsed() ? exporter->help() : app.help(); });
    command_line::TakeOutcome(outcome, line);
    return line;
}

}  // namespace orient_block
