// What a block run does before and around its pairs, shared by `orient-block`'s own run
// (runner.h) and by a run whose pairs are oriented elsewhere (the Python module's client and
// workers): the request, the plan of photographs, cameras and pairs, the database opened and
// the photographs registered, and one pair oriented from its two parsed key files into the
// row the database stores.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "block/pairing.h"
#include "block/photographs.h"
#include "block/store.h"
#include "keypoints/matching.h"
#include "pair_run/input_files.h"
#include "pair_run/run_info.h"
#include "robust_orientation/estimate.h"

namespace block {

// What changes a pair's result.
struct PairSettings {
    keypoints::DistanceRatio ratio;
    bool mutual = false;
    ro::EstimationOptions estimation;
};

// The settings as the canonical JSON text the database keeps (block::BlockStore::UseSettings):
// the program version and every setting that changes a pair's result, in a fixed order.
std::string SettingsJson(const PairSettings& settings);

struct BlockRequest {
    std::string database;
    std::vector<std::string> key_files;
    std::string cameras_list;    // --cameras FILE; empty: none
    std::string default_camera;  // --camera FILE; empty: the built-in camera
    PairChoice pairs;
    Shard shard;
    PairSettings settings;
    int threads = 1;
    std::size_t cache_bytes = std::size_t{1024} << 20;
    bool quiet = false;  // no progress display and no messages but errors
};

// Puts the key files of the --list file `key_list` (empty: none) before those of the
// command line; throws InputError when it cannot be read or lists none and the command line
// gives none either ("LIST: no key files listed").
void AddListedKeyFiles(BlockRequest& request, const std::string& key_list);

// The photographs, their cameras and the pairs asked for.
struct Plan {
    std::vector<std::string> names;
    std::vector<CameraChoice> camera_files;
    std::vector<ro::Camera> cameras;
    std::vector<PhotoPair> pairs;  // of the selection and the shard, canonical
};

// Every input problem is thrown (InputError) before the database is touched.
Plan MakePlan(const BlockRequest& request);

// A block's database ready for its pairs.
struct BlockStart {
    Plan plan;
    std::vector<Photograph> photographs;  // as registered, in the order given
    std::vector<int> ids;                 // the photographs' ids in the database
    std::size_t already_done = 0;         // pairs of the plan already in the database
    std::vector<PhotoPair> todo;          // the others, canonical
};

// With the plan made before the database was opened (so that an input problem leaves no
// database behind): checks the settings against `store` (StoreError when it holds others),
// registers the photographs (a key file hashed on `request.threads` threads only when new or
// changed) and finds the pairs still to do. Says on `messages`, each line starting with `prefix`,
// which photographs changed and how many pairs were already done, unless quiet.
BlockStart StartBlock(const BlockRequest& request, Plan plan, BlockStore& store,
                      std::FILE* messages, const std::string& prefix);

// A photograph of a pair as the pair's JSON document names it.
struct PairPhoto {
    std::string key_file;  // as given
    pair_run::CameraUse camera;
};

// Orients a pair from its two parsed key files (descriptor lengths agreeing) as `orient`
// does, on `threads` threads; the row stores photo1 and photo2 as the pair's ids and the
// time since `start`.
PairRow OrientBlockPair(const PairPhoto& photo1, const PairPhoto& photo2,
                        const pair_run::KeypointFile& keys1, const pair_run::KeypointFile& keys2,
                        const PairSettings& settings, int threads, int id1, int id2,
                        std::chrono::steady_clock::time_point start);

}  // namespace block
