// The run of a block: every pair of the selection that the database does not hold yet is
// oriented as `orient` orients it (pair_run::OrientPair) and written to the database as it
// finishes. Pairs run on the process's thread pool, each on one thread when there are more
// pairs than threads, else one after the other on every thread; the results are the same
// for every thread count. Key files come from a bounded cache (key_cache.h) and the pairs
// run in the order that reuses it (pairing.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "block/key_cache.h"
#include "block/pairing.h"
#include "block/photographs.h"
#include "keypoints/matching.h"
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

// A pair oriented by this run, for the summary.
struct PairRecord {
    int photo1 = 0;  // numbers in the order given
    int photo2 = 0;
    std::string outcome;
    std::vector<std::string> warnings;
    double sigma0_px = 0.0;  // NaN without an adjusted orientation
    double seconds = 0.0;
};

struct BlockReport {
    std::vector<std::string> names;  // the photographs, in the order given
    std::size_t selected = 0;        // pairs of the selection (and shard)
    std::size_t already_done = 0;    // of them already in the database
    std::vector<PairRecord> pairs;   // oriented by this run, in the order they finished
    double seconds = 0.0;            // wall time of the pairs' work
    bool interrupted = false;        // stopped on request before every pair was done
    std::string error;               // a pair's key file could not be used: the run stopped
    KeyCache::Stats cache;
};

// Reads the inputs, opens the database and orients the pairs it lacks, until done or until
// `stop` is set (then the pairs in flight finish and are written). Messages (pairs already
// done, changed photographs, the progress) go to `messages`. Throws InputError for the
// inputs and block::StoreError for the database before any pair is run; a key file that
// fails while the pairs run ends the run with BlockReport::error.
BlockReport RunBlock(const BlockRequest& request, const std::atomic<bool>& stop,
                     std::FILE* messages);

// The summary of a run for standard output: pairs, outcomes, warnings by code, the median
// sigma0, the slowest pairs, the time and the rate.
std::string SummaryText(const BlockReport& report, const std::string& database);

}  // namespace block
