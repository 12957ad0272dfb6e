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
#include "block/plan.h"
#include "block/store.h"

namespace block {

// A pair oriented by this run, for the summary.
struct PairRecord {
    int photo1 = 0;  // numbers in the order given
    int photo2 = 0;
    std::string outcome;
    std::vector<std::string> warnings;
    double sigma0_px = 0.0;  // NaN without an adjusted orientation
    double seconds = 0.0;
};

// The record of a pair from its row; photo1 and photo2 are the numbers in the order given.
PairRecord RecordOf(const PairRow& row, int photo1, int photo2);

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
