#include "python/block_command.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <utility>

#include "command_line/block_options.h"
#include "command_line/estimation_options.h"
#include "command_line/parse_outcome.h"
#include "command_line/validators.h"
#include "pair_run/run_info.h"

namespace relative_orientation_python {

const char kBlockProgram[] = "python3 -m relative_orientation block";

namespace {

constexpr std::uint64_t kMaxWorkers = 4096;
constexpr std::uint64_t kMaxChunkPairs = 1000000;

// SCHEME://HOST:PORT, the form of a Dask scheduler's address.
CLI::Validator SchedulerAddress() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty()) return command_line::kEmptyValue;
            const std::size_t scheme = text.find("://");
            const std::size_t colon = text.rfind(':');
            const std::string port =
                colon == std::string::npos ? std::string() : text.substr(colon + 1);
            bool digits = !port.empty() && port.size() <= 5;
            for (const char c : port) digits = digits && c >= '0' && c <= '9';
            if (scheme == std::string::npos || scheme == 0 || colon <= scheme + 3 || !digits ||
                std::stoi(port) < 1 || std::stoi(port) > 65535) {
                return command_line::Quoted(text,
                                            "is not a scheduler's address such as "
                                            "tcp://HOST:PORT");
            }
            return {};
        },
        "");
}

}  // namespace

BlockCommand ParseBlockCommand(const std::vector<std::string>& arguments) {
    BlockCommand line;
    block::BlockRequest& r = line.request;
    CLI::App app(
        "Relative orientation of every pair of a block of photographs into a database that a "
        "second run goes on with, the pairs oriented on a Dask cluster.",
        kBlockProgram);
    app.set_help_flag();
    app.add_flag_callback(
        "-h,--help", [] { throw CLI::CallForHelp(); }, "Print this help and exit");
    app.set_version_flag("--version",
                         std::string("relative_orientation block ") + pair_run::Version(),
                         "Print the version and exit");
    command_line::AddBlockInputs(app, r, line.key_list);
    command_line::AddMatchingOptions(app, r.settings.ratio, r.settings.mutual,
                                     r.settings.estimation);
    CLI::Option* scheduler =
        app.add_option("--scheduler", line.scheduler,
                       "A running Dask scheduler to orient the pairs on (default: a local "
                       "cluster of one worker process per core)")
            ->type_name("tcp://HOST:PORT")
            ->check(SchedulerAddress());
    app.add_flag("--ship-keys", line.ship_keys,
                 "Send the key files' contents to the workers (default: the workers read the "
                 "key files at the paths given, which every machine must share)")
        ->disable_flag_override();
    CLI::Option* workers =
        app.add_option("--workers", line.workers,
                       "Worker processes of the local cluster (default: one per core)")
            ->type_name("N")
            ->transform(command_line::WholeNumber(1, kMaxWorkers));
    app.add_option("--chunk-pairs", line.chunk_pairs,
                   "Pairs in one task (default: enough tasks for every worker, at most 64 pairs "
                   "each)")
        ->type_name("N")
        ->transform(command_line::WholeNumber(1, kMaxChunkPairs));
    command_line::AddBlockQuiet(app, r.quiet);
    CLI::Option* threshold = command_line::AddEstimationOptions(app, r.settings.estimation);
    app.footer(
        "Exit status: 0 every pair of the selection is in the database (whatever its outcome);\n"
        "1 an input, the database, the cluster or an output failed; 2 wrong usage; 130\n"
        "interrupted (run the same command again to go on).");
    // CLI11 reads the arguments from the last to the first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    const command_line::ParseOutcome outcome = command_line::ParseOrExit(
        kBlockProgram,
        [&] {
            app.parse(reversed);
            const std::string problem = command_line::CheckBlockRun(r, line.key_list, threshold);
            if (!problem.empty()) throw command_line::UsageError(problem);
            if (workers->count() > 0 && scheduler->count() > 0) {
                throw command_line::UsageError(
                    "--workers sets the local cluster's size: not with --scheduler");
            }
        },
        [&] { return app.help(); });
    command_line::TakeOutcome(outcome, line);
    return line;
}

}  // namespace relative_orientation_python
