#include "block/plan.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>

#include "block/key_identity.h"
#include "camera/camera_file.h"
#include "common/thread_pool.h"
#include "pair_run/json_report.h"
#include "pair_run/orient_pair.h"

namespace block {
namespace {

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

void Say(std::FILE* stream, const std::string& prefix, const std::string& text) {
    const std::string line = prefix + text + "\n";
    std::fputs(line.c_str(), stream);
}

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

void AddListedKeyFiles(BlockRequest& request, const std::string& key_list) {
    if (key_list.empty()) return;
    std::vector<std::string> listed = ParseKeyList(ReadListFile(key_list), key_list);
    listed.insert(listed.end(), request.key_files.begin(), request.key_files.end());
    request.key_files = std::move(listed);
    if (request.key_files.empty()) throw InputError(key_list + ": no key files listed");
}

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

BlockStart StartBlock(const BlockRequest& request, Plan plan, BlockStore& store,
                      std::FILE* messages, const std::string& prefix) {
    BlockStart start;
    start.plan = std::move(plan);
    if (const std::optional<std::string> refusal =
            store.UseSettings(SettingsJson(request.settings))) {
        throw StoreError(*refusal);
    }
    start.photographs = Identities(request, start.plan, store);
    const Registration registration = store.Register(start.photographs);
    start.ids = registration.ids;
    for (std::size_t k = 0; k < start.photographs.size(); ++k) {
        start.photographs[k].id = start.ids[k];
    }
    if (!registration.changed.empty() && !request.quiet) {
        Say(messages, prefix,
            "key file or camera changed since the last run: " + NameList(registration.changed) +
                "; their pairs are oriented again");
    }
    const std::vector<std::pair<int, int>> done_ids = store.DonePairs();
    const std::set<std::pair<int, int>> done(done_ids.begin(), done_ids.end());
    for (const PhotoPair& pair : start.plan.pairs) {
        if (done.count({start.ids[pair.first], start.ids[pair.second]}) != 0) {
            ++start.already_done;
        } else {
            start.todo.push_back(pair);
        }
    }
    if (start.already_done > 0 && !request.quiet) {
        Say(messages, prefix,
            std::to_string(start.already_done) + " of " + std::to_string(start.plan.pairs.size()) +
                " pairs already in " + request.database + ", " + std::to_string(start.todo.size()) +
                " to orient");
    }
    return start;
}

PairRow OrientBlockPair(const PairPhoto& photo1, const PairPhoto& photo2,
                        const pair_run::KeypointFile& keys1, const pair_run::KeypointFile& keys2,
                        const PairSettings& settings, int threads, int id1, int id2,
                        std::chrono::steady_clock::time_point start) {
    pair_run::RunInfo run;
    run.keys1_file = photo1.key_file;
    run.keys2_file = photo2.key_file;
    run.camera1 = photo1.camera;
    run.camera2 = photo2.camera;
    run.same_camera = photo1.camera.file == photo2.camera.file;
    run.ratio = settings.ratio;
    run.mutual = settings.mutual;
    run.estimation = settings.estimation;
    run.threads = threads;
    const pair_run::PairOrientation oriented = pair_run::OrientPair(keys1, keys2, run);
    const ro::OrientationResult& result = oriented.result;
    const std::string report = pair_run::JsonReport(result, run);
    const PairOutcome outcome{
        id1, id2, &result, report,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    return MakePairRow(outcome);
}

}  // namespace block
