#include "orient_block/run.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "block/export.h"
#include "block/pair_matrix_svg.h"
#include "block/plan.h"
#include "block/runner.h"
#include "block/store.h"
#include "common/thread_pool.h"
#include "io/atomic_file.h"
#include "io/file_error.h"
#include "io/output_target.h"
#include "orient_block/command_line.h"

namespace orient_block {
namespace {

// Set by the first SIGINT or SIGTERM: no new pair is started. A second one ends the process
// at once; the database stays consistent (every pair is one transaction).
std::atomic<bool> stop_requested{false};
std::atomic<int> signals_seen{0};

extern "C" void OnSignal(int) {
    if (signals_seen.fetch_add(1) > 0) _exit(kInterrupted);
    stop_requested.store(true);
}

void CatchSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void Message(const std::string& text) {
    const std::string line = "orient-block: " + text + "\n";
    std::fputs(line.c_str(), stderr);
}

int RunPairs(CommandLine& line) {
    block::BlockRequest& request = line.request;
    block::AddListedKeyFiles(request, line.key_list);
    CatchSignals();
    const block::BlockReport report = block::RunBlock(request, stop_requested, stderr);
    if (!request.quiet) {
        const std::string summary = block::SummaryText(report, request.database);
        if (const std::optional<io::FileError> error = io::WriteFileAtomically("-", summary)) {
            Message(error->Message());
            return kInputError;
        }
    }
    if (!report.error.empty()) {
        Message(report.error);
        return kInputError;
    }
    if (report.interrupted) {
        Message("interrupted: run the same command again to go on");
        return kInterrupted;
    }
    return kCompleted;
}

int Export(const ExportOptions& e) {
    if (const std::optional<io::FileError> error =
            io::CheckOutputTargets({{e.json_file, io::OutputKind::json},
                                    {e.csv_file, io::OutputKind::csv},
                                    {e.svg_file, io::OutputKind::svg}},
                                   e.force)) {
        Message(error->Message());
        return kInputError;
    }
    const block::BlockStore store(e.database, block::BlockStore::Access::read_only);
    const std::vector<block::Photograph> photographs = store.Photographs();
    const std::vector<block::StoredPair> pairs = store.Pairs();
    const std::pair<const std::string*, std::string (*)(const std::vector<block::Photograph>&,
                                                        const std::vector<block::StoredPair>&)>
        writers[] = {{&e.json_file, &block::PairsJsonLines},
                     {&e.csv_file, &block::PairsCsv},
                     {&e.svg_file, &block::PairMatrixSvg}};
    for (const auto& [path, write] : writers) {
        if (path->empty()) continue;
        if (const std::optional<io::FileError> error =
                io::WriteFileAtomically(*path, write(photographs, pairs))) {
            Message(error->Message());
            return kInputError;
        }
    }
    return kCompleted;
}

}  // namespace

int OrientBlockMain(int argc, const char* const* argv) {
    try {
        CommandLine line = ParseCommandLine(argc, argv, common::HardwareThreads());
        if (!line.run) {
            std::fputs(line.err.c_str(), stderr);
            if (!line.out.empty()) {
                if (const std::optional<io::FileError> error =
                        io::WriteFileAtomically("-", line.out)) {
                    Message(error->Message());
                    return kInputError;
                }
            }
            return line.status;
        }
        return line.export_pairs ? Export(line.exports) : RunPairs(line);
    } catch (const block::InputError& error) {
        Message(error.what());
    } catch (const block::StoreError& error) {
        Message(error.what());
    } catch (const std::bad_alloc&) {
        Message("out of memory");
    } catch (const std::system_error& error) {
        Message(std::string("cannot run: ") + error.what());
    }
    return kInputError;
}

}  // namespace orient_block
