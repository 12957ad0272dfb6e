#include "block/runner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

#include "block/store.h"
#include "common/progress.h"
#include "common/thread_pool.h"

namespace block {
namespace {

using Clock = std::chrono::steady_clock;

// A parsed key file takes about 1.5 times the bytes of its text (a keypoint of 128 values is
// 552 bytes parsed, some 365 bytes of text in the bundled street photograph's key file; 1.55
// measured over a synthetic aerial block); the cache's tiles are planned with this.
constexpr double kParsedPerFileByte = 1.5;

// How many photographs the cache holds at once, judged by the sizes of their key files.
int CachedPhotographs(const std::vector<Photograph>& photographs, std::size_t cache_bytes) {
    if (photographs.empty()) return 0;
    double total = 0.0;
    for (const Photograph& p : photographs) total += static_cast<double>(p.key_bytes);
    const double mean = std::max(1.0, kParsedPerFileByte * total / photographs.size());
    return static_cast<int>(
        std::min<double>(static_cast<double>(cache_bytes) / mean, std::numeric_limits<int>::max()));
}

// The work of a run over its pairs.
class PairWork {
  public:
    PairWork(const BlockRequest& request, const Plan& plan, const std::vector<int>& ids,
             BlockStore& store, KeyCache& cache, common::ProgressDisplay& progress,
             BlockReport& report)
        : request_(request),
          plan_(plan),
          ids_(ids),
          store_(store),
          cache_(cache),
          progress_(progress),
          report_(report) {}

    // Orients one pair with `threads` threads and writes it; false (with the reason kept)
    // when a key file could not be used or the database refused the pair.
    void Run(const PhotoPair& pair, int threads) {
        if (Failed()) return;
        const Clock::time_point start = Clock::now();
        const auto [i, j] = pair;
        std::string problem;
        std::shared_ptr<const pair_run::KeypointFile> first = cache_.Get(i, problem);
        std::shared_ptr<const pair_run::KeypointFile> second =
            first ? cache_.Get(j, problem) : nullptr;
        if (!second) return Fail(problem);
        if (std::string mismatch = pair_run::DescriptorMismatch(*first, *second);
            !mismatch.empty()) {
            return Fail(mismatch);
        }
        const PairRow row = OrientBlockPair(Photo(i), Photo(j), *first, *second, request_.settings,
                                            threads, ids_[i], ids_[j], start);
        first.reset();
        second.reset();
        try {
            store_.WriteRow(row);
        } catch (const StoreError& error) {
            return Fail(error.what());
        }
        {
            std::lock_guard lock(mutex_);
            report_.pairs.push_back(RecordOf(row, i, j));
        }
        progress_.Advance(!row.oriented);
    }

    bool Failed() const {
        std::lock_guard lock(mutex_);
        return !report_.error.empty();
    }

  private:
    PairPhoto Photo(int k) const {
        const auto at = static_cast<std::size_t>(k);
        return {request_.key_files[at], {plan_.cameras[at], plan_.camera_files[at].file}};
    }

    void Fail(const std::string& problem) {
        std::lock_guard lock(mutex_);
        if (report_.error.empty()) report_.error = problem;
    }

    const BlockRequest& request_;
    const Plan& plan_;
    const std::vector<int>& ids_;
    BlockStore& store_;
    KeyCache& cache_;
    common::ProgressDisplay& progress_;
    BlockReport& report_;
    mutable std::mutex mutex_;
};

}  // namespace

PairRecord RecordOf(const PairRow& row, int photo1, int photo2) {
    return {photo1,
            photo2,
            row.outcome,
            row.warnings,
            row.adjusted ? row.sigma0_px : std::numeric_limits<double>::quiet_NaN(),
            row.seconds};
}

BlockReport RunBlock(const BlockRequest& request, const std::atomic<bool>& stop,
                     std::FILE* messages) {
    Plan made = MakePlan(request);
    BlockStore store(request.database);
    BlockStart start = StartBlock(request, std::move(made), store, messages, "orient-block: ");
    const Plan& plan = start.plan;
    const std::vector<Photograph>& photographs = start.photographs;
    BlockReport report;
    report.names = plan.names;
    report.selected = plan.pairs.size();
    report.already_done = start.already_done;
    std::vector<PhotoPair> todo = std::move(start.todo);
    todo = RunOrder(std::move(todo), static_cast<int>(plan.names.size()),
                    CachedPhotographs(photographs, request.cache_bytes));

    KeyCache cache(request.key_files, request.cache_bytes);
    if (todo.empty()) return report;
    common::ProgressDisplay progress(messages, common::ProgressModeFor(messages, request.quiet),
                                     "orient-block: ", "pairs", todo.size());
    PairWork work(request, plan, start.ids, store, cache, progress, report);
    const Clock::time_point begin = Clock::now();
    const int threads = std::max(1, request.threads);
    if (todo.size() >= static_cast<std::size_t>(threads) && threads > 1) {
        common::SharedPool().Run(todo.size(), threads, [&](std::size_t k) {
            if (!stop.load()) work.Run(todo[k], 1);
        });
    } else {
        for (const PhotoPair& pair : todo) {
            if (stop.load()) break;
            work.Run(pair, threads);
        }
    }
    progress.Finish();
    report.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    report.interrupted = stop.load() && report.pairs.size() < todo.size();
    report.cache = cache.Statistics();
    return report;
}

std::string SummaryText(const BlockReport& report, const std::string& database) {
    char text[256];
    std::string out;
    const std::size_t oriented_now = report.pairs.size();
    std::snprintf(text, sizeof text,
                  "%zu pairs in the selection: %zu already in %s, %zu oriented in %.1f s "
                  "(%.2f pairs/s)\n",
                  report.selected, report.already_done, database.c_str(), oriented_now,
                  report.seconds, report.seconds > 0.0 ? oriented_now / report.seconds : 0.0);
    out += text;
    std::map<std::string, int> outcomes;
    std::map<std::string, int> warnings;
    std::vector<double> sigma0;
    for (const PairRecord& pair : report.pairs) {
        ++outcomes[pair.outcome];
        for (const std::string& code : pair.warnings) ++warnings[code];
        if (std::isfinite(pair.sigma0_px)) sigma0.push_back(pair.sigma0_px);
    }
    const auto counts = [](const std::map<std::string, int>& map) {
        std::string line;
        for (const auto& [code, count] : map) {
            line += (line.empty() ? "" : ", ") + code + " " + std::to_string(count);
        }
        return line.empty() ? std::string("none") : line;
    };
    const int oriented = outcomes.count("oriented") != 0 ? outcomes["oriented"] : 0;
    outcomes.erase("oriented");
    out += "oriented: " + std::to_string(oriented) + "\n";
    out += "refused: " + counts(outcomes) + "\n";
    out += "warnings: " + counts(warnings) + "\n";
    if (!sigma0.empty()) {
        std::nth_element(sigma0.begin(), sigma0.begin() + sigma0.size() / 2, sigma0.end());
        std::snprintf(text, sizeof text, "median sigma0: %.3f px\n", sigma0[sigma0.size() / 2]);
        out += text;
    }
    if (report.cache.parses > 0) {
        std::snprintf(text, sizeof text, "key files: %zu parsed, at most %.1f MB held\n",
                      report.cache.parses, static_cast<double>(report.cache.peak_bytes) / 1e6);
        out += text;
    }
    std::vector<const PairRecord*> slowest;
    for (const PairRecord& pair : report.pairs) slowest.push_back(&pair);
    const std::size_t shown = std::min<std::size_t>(5, slowest.size());
    std::partial_sort(
        slowest.begin(), slowest.begin() + shown, slowest.end(),
        [](const PairRecord* a, const PairRecord* b) {
            return a->seconds > b->seconds ||
                   (a->seconds == b->seconds &&
                    std::make_pair(a->photo1, a->photo2) < std::make_pair(b->photo1, b->photo2));
        });
    if (shown > 0) {
        out += "slowest pairs:";
        for (std::size_t k = 0; k < shown; ++k) {
            std::snprintf(text, sizeof text, " %.2f s", slowest[k]->seconds);
            out += (k == 0 ? " " : ", ") + report.names[slowest[k]->photo1] + " " +
                   report.names[slowest[k]->photo2] + text;
        }
        out += "\n";
    }
    return out;
}

}  // namespace block
