// The block database: one SQLite file (WAL journal) holding a block's photographs, their
// cameras, the settings its pairs were oriented with, every oriented pair and the pair's
// tie points. Each pair is written in a transaction of its own, so an interrupted run loses
// at most the pairs in flight and a second run goes on where the first stopped. The schema
// is documented in docs/block-database.md; PRAGMA user_version holds kSchemaVersion.
//
// One BlockStore is one connection; its calls are serialised by an internal mutex, so the
// threads of a run may write their pairs through the same store.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "robust_orientation/result.h"

namespace block {

inline constexpr int kSchemaVersion = 1;

// Any failure of the database: the message names the file and the reason, e.g.
// "block.db: not a block database (user_version 7, this program writes 1)" or
// "block.db: cannot write: database or disk is full".
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A photograph of the block as a run sees it.
struct Photograph {
    std::string name;      // unique in the block: the key file's name without folder and ".key"
    std::string key_file;  // as given on the command line
    std::int64_t key_bytes = 0;
    std::int64_t key_mtime_ns = 0;
    std::uint64_t key_hash = 0;  // of the key file's bytes (64-bit FNV-1a)
    std::string camera_file;     // empty: the built-in camera
    std::string camera_text;     // the camera as camera-file text (camera::FormatCameraText)
    int id = 0;                  // in the database (Photographs, Find); 0 before registration
};

// What a photograph's registration found against the database.
struct Registration {
    std::vector<int> ids;  // the photographs' ids, in the order given
    // Names of photographs already in the database whose key file content or camera changed
    // since: their pairs were deleted and are oriented again.
    std::vector<std::string> changed;
};

// One oriented pair as a run hands it over.
struct PairOutcome {
    int photo1 = 0;  // ids from Registration
    int photo2 = 0;
    const ro::OrientationResult* result = nullptr;  // with its tie points
    std::string report_json;                        // the pair's `orient --json` document
    double seconds = 0.0;                           // wall time of matching and estimation
};

// One pair as the database stores it, every column but the time of writing: made from the
// result where the pair was oriented (MakePairRow), written where the database is
// (BlockStore::WriteRow), so that a pair oriented elsewhere is stored as if here.
struct PairRow {
    int photo1 = 0;  // ids from Registration
    int photo2 = 0;
    std::string outcome;  // ro::OutcomeCode
    bool oriented = false;
    std::string reason;
    int matches = 0;
    int inliers = 0;
    int snooped = 0;
    // by, by_sigma, bz, bz_sigma, omega, phi and kappa in degrees each with its sigma, then
    // base x, y, z and their sigmas; NaN (stored as NULL) without an adjusted orientation.
    std::array<double, 16> values{};
    bool adjusted = false;  // the next four are stored only then
    std::string covariance_json;
    double sigma0_px = 0.0;
    double chi2_ratio = 0.0;
    bool chi2_accepted = false;
    std::vector<std::string> warnings;  // codes, in the result's order
    double seconds = 0.0;
    std::string report_json;
    std::vector<unsigned char> tie_points;  // kTiePointBytes per tie point
};

// A pair as stored, for the summary, the exports and the pair matrix.
struct StoredPair {
    int photo1 = 0;
    int photo2 = 0;
    std::string name1;
    std::string name2;
    std::string outcome;  // ro::OutcomeCode
    int matches = 0;
    int inliers = 0;
    int snooped = 0;
    double sigma0_px = 0.0;             // NaN without an adjusted orientation
    std::vector<std::string> warnings;  // codes, in the report's order
    double seconds = 0.0;
    std::string report_json;
};

// A tie point as stored with its pair (the blob layout is in docs/block-database.md).
struct StoredTiePoint {
    int match = 0;  // 1-based number of the tie point in the pair
    double row1_px = 0.0;
    double col1_px = 0.0;
    double row2_px = 0.0;
    double col2_px = 0.0;
    double ratio = 0.0;  // NaN when unknown
    ro::PointStatus status = ro::PointStatus::ransac_outlier;
    double sampson_px = 0.0;
    double y_parallax_px = 0.0;
    double w = 0.0;  // NaN for points outside the last adjustment
};

// Bytes of one tie point in the database.
inline constexpr std::size_t kTiePointBytes = 72;

// The row of an oriented pair; throws StoreError for a pair without a result.
PairRow MakePairRow(const PairOutcome& pair);

class BlockStore {
  public:
    enum class Access {
        read_write,  // creates the database when it does not exist
        read_only,   // for reading an existing one (exports): every write throws
    };

    // Opens the database at `path`, creating it (and its schema) when it does not exist.
    // Refuses a file that is not a block database or has another schema version.
    explicit BlockStore(const std::string& path, Access access = Access::read_write);
    ~BlockStore();
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;

    // The settings that change a pair's result (ratio, mutual, sigma, threshold, confidence,
    // iteration limits, critical w, seed, program version), as one canonical JSON text. A new
    // database records them; an existing one that holds other settings returns why it cannot
    // go on (naming the first setting that differs, its stored and its new value). Nothing
    // is written then.
    std::optional<std::string> UseSettings(const std::string& settings_json);

    // Adds new photographs, recognises known ones by name, and for a known one whose key file
    // (by content hash) or camera text changed, deletes its pairs and records the new
    // identity. A key file with the same hash but a new size or time only has its identity
    // updated.
    Registration Register(const std::vector<Photograph>& photographs);

    // The stored identity of a photograph by name (to decide whether its key file must be
    // hashed again); empty when unknown.
    std::optional<Photograph> Find(const std::string& name) const;

    // The pairs already in the database, as (photo1, photo2) id pairs, sorted.
    std::vector<std::pair<int, int>> DonePairs() const;

    // Writes one pair with its tie points in one transaction; replaces a stored pair of the
    // same two photographs. WritePair is WriteRow(MakePairRow(pair)).
    void WritePair(const PairOutcome& pair);
    void WriteRow(const PairRow& row);

    // The tie points of a stored pair in their order; empty when the pair is not stored.
    std::vector<StoredTiePoint> TiePoints(int photo1, int photo2) const;

    // Every stored pair ordered by (photo1, photo2); the photographs by id. Without
    // `with_reports` the pairs' report_json stay empty (a summary or the pair matrix of a
    // large block need not hold every report in memory).
    std::vector<StoredPair> Pairs(bool with_reports = true) const;
    std::vector<Photograph> Photographs() const;

  private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

}  // namespace block
