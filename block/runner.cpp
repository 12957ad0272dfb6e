#include "block/runner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>

#include "block/key_identity.h"
#include "block/store.h"
#include "camera/camera_file.h"
#include "common/progress.h"
#include "common/thread_pool.h"
#include "pair_run/json_report.h"
#include "pair_run/orient_pair.h"
#include "pair_run/run_info.h"

namespace block {
namespace {

using Clock = std::chrono::steady_clock;

// A parsed key file takes about 1.5 times the bytes of its text (a keypoint of 128 values is
// 552 bytes parsed, some 365 bytes of text in the bundled street photograph's key file; 1.55
// measured over a synthetic aerial block); the cache's tiles are planned with this.
constexpr double kParsedPerFileByte = 1.5;

void Say(std::FILE* stream, const std::string& text) {
    const std::string line = "orient-block: " + text + "\n";
    std::fputs(line.c_str(), stream);
}

// The photographs, their cameras and the pairs asked for; every input problem is thrown
// before the database is touched.
struct Plan {
    std::vector<std::string> names;
    std::vector<CameraChoice> camera_files;
    std::vector<ro::Camera> cameras;
    std::vector<PhotoPair> pairs;  // of the selection and the shard, canonical
};

Plan MakePlan(const BlockRequest& request) {
    Plan plan;
    plan.names = PhotographNames(request.key_files);
    const std::string cameras_text =
        request.cameras_list.empty() ? std::string() : ReadListFile(request.cameras_list);
    plan.camera_files = AssignCameras(cameras_text, request.cameras_list, plan.names,
                                      request.key_files, request.default_camera);
    plan.cameras = ReadCameras(plan.camera_files, request.cameras_list);
    const int count = static_cast<int>(plan.names.size());
    std::vector<PhotoPair> canonical;
    switch (request.pairs.kind) {
        case PairChoice::Kind::all:
            canonical = AllPairs(count);
            break;
        case PairChoice::Kind::sequential:
            canonical = SequentialPairs(count, request.pairs.next);
            break;
        case PairChoice::Kind::file:
            canonical = ParsePairList(ReadListFile(request.pairs.file), request.pairs.file,
                                      plan.names, request.key_files);
            break;
    }
    plan.pairs = ShardPairs(canonical, request.shard);
    return plan;
}

// The photographs as the database records them, a key file hashed (on `threads` threads)
// only when it is new or its size or time differs from the stored ones.
std::vector<Photograph> Identities(const BlockRequest& request, const Plan& plan,
                                   const BlockStore& store) {
    std::vector<Photograph> photographs;
    std::vector<std::size_t> to_hash;
    for (std::size_t k = 0; k < plan.names.size(); ++k) {
        Photograph p;
        p.name = plan.names[k];
        p.key_file = request.key_files[k];
        const KeyStat stat = StatKeyFile(p.key_file);
        p.key_bytes = stat.bytes;
        p.key_mtime_ns = stat.mtime_ns;
        const std::optional<Photograph> stored = store.Find(p.name);
        if (stored && stored->key_bytes == p.key_bytes && stored->key_mtime_ns == p.key_mtime_ns) {
            p.key_hash = stored->key_hash;
        } else {
            to_hash.push_back(k);
        }
        p.camera_file = plan.camera_files[k].file;
        p.camera_text = ro::FormatCameraText(plan.cameras[k]);
        photographs.push_back(std::move(p));
    }
    // A failure comes back as the first photograph's in the order given.
    common::SharedPool().Run(to_hash.size(), std::max(1, request.threads), [&](std::size_t t) {
        Photograph& p = photographs[to_hash[t]];
        p.key_hash = HashKeyFile(p.key_file);
    });
    return photographs;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

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
        pair_run::RunInfo run;
        run.keys1_file = request_.key_files[i];
        run.keys2_file = request_.key_files[j];
        run.camera1 = {plan_.cameras[i], plan_.camera_files[i].file};
        run.camera2 = {plan_.cameras[j], plan_.camera_files[j].file};
        run.same_camera = plan_.camera_files[i].file == plan_.camera_files[j].file;
        run.ratio = request_.settings.ratio;
        run.mutual = request_.settings.mutual;
        run.estimation = request_.settings.estimation;
        run.threads = threads;
        const pair_run::PairOrientation oriented = pair_run::OrientPair(*first, *second, run);
        first.reset();
        second.reset();
        const ro::OrientationResult& result = oriented.result;
        PairOutcome outcome{ids_[i], ids_[j], &result, pair_run::JsonReport(result, run),
                            std::chrono::duration<double>(Clock::now() - start).count()};
        try {
            store_.WritePair(outcome);
        } catch (const StoreError& error) {
            return Fail(error.what());
        }
        PairRecord record{i,
                          j,
                          ro::OutcomeCode(result.outcome),
                          {},
                          ro::HasAdjustedOrientation(result.outcome)
                              ? result.adjustment.sigma0_px
                              : std::numeric_limits<double>::quiet_NaN(),
                          outcome.seconds};
        for (const ro::Warning& w : result.warnings) record.warnings.push_back(w.code);
        {
            std::lock_guard lock(mutex_);
            report_.pairs.push_back(std::move(record));
        }
        progress_.Advance(result.outcome != ro::Outcome::oriented);
    }

    bool Failed() const {
        std::lock_guard lock(mutex_);
        return !report_.error.empty();
    }

  private:
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

std::string SettingsJson(const PairSettings& settings) {
    const ro::EstimationOptions& e = settings.estimation;
    const nlohmann::ordered_json json = {
        {"version", pair_run::Version()},
        {"ratio", pair_run::RatioText(settings.ratio)},
        {"mutual", settings.mutual},
        {"sigma_px", e.sigma_px},
        {"threshold_px", ro::EffectiveThresholdPx(e)},
        {"confidence", e.ransac.confidence},
        {"min_iterations", e.ransac.min_iterations},
        {"careful_min_iterations", e.ransac.careful_min_iterations},
        {"max_iterations", e.ransac.max_iterations},
        {"seed", e.ransac.seed},
        {"critical_w", e.adjustment.critical_w},
        {"max_snooped_share", e.adjustment.max_snooped_share},
        {"max_adjustment_iterations", e.adjustment.max_iterations}};
    return json.dump();
}

BlockReport RunBlock(const BlockRequest& request, const std::atomic<bool>& stop,
                     std::FILE* messages) {
    const Plan plan = MakePlan(request);
    BlockStore store(request.database);
    if (const std::optional<std::string> refusal =
            store.UseSettings(SettingsJson(request.settings))) {
        throw StoreError(*refusal);
    }
    const std::vector<Photograph> photographs = Identities(request, plan, store);
    const Registration registration = store.Register(photographs);
    if (!registration.changed.empty() && !request.quiet) {
        Say(messages, "key file or camera changed since the last run: " +
                          NameList(registration.changed) + "; their pairs are oriented again");
    }
    const std::vector<std::pair<int, int>> done_ids = store.DonePairs();
    const std::set<std::pair<int, int>> done(done_ids.begin(), done_ids.end());

    BlockReport report;
    report.names = plan.names;
    report.selected = plan.pairs.size();
    std::vector<PhotoPair> todo;
    for (const PhotoPair& pair : plan.pairs) {
        if (done.count({registration.ids[pair.first], registration.ids[pair.second]}) != 0) {
            ++report.already_done;
        } else {
            todo.push_back(pair);
        }
    }
    if (report.already_done > 0 && !request.quiet) {
        Say(messages, std::to_string(report.already_done) + " of " +
                          std::to_string(report.selected) + " pairs already in " +
                          request.database + ", " + std::to_string(todo.size()) + " to orient");
    }
    todo = RunOrder(std::move(todo), static_cast<int>(plan.names.size()),
                    CachedPhotographs(photographs, request.cache_bytes));

    KeyCache cache(request.key_files, request.cache_bytes);
    if (todo.empty()) return report;
    common::ProgressDisplay progress(messages, common::ProgressModeFor(messages, request.quiet),
                                     "orient-block: ", "pairs", todo.size());
    PairWork work(request, plan, registration.ids, store, cache, progress, report);
    const Clock::time_point start = Clock::now();
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
    report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
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
