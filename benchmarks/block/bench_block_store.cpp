// The cost of writing one oriented pair with its tie points into the block database, to be
// set against orienting the pair (bench_orient_run's BM_WholeRun/1: 75 to 150 ms for
// 10000 x 10000 keypoints on one thread, depending on the machine's load).
// BM_StoreWritePair is the store itself (the tie points a blob per pair). The layouts it was
// chosen among, on bare SQLite with the store's settings (WAL, synchronous=NORMAL, one
// transaction per pair) and the pair's row reduced to its report: a row per tie point one
// by one and 64 to a statement, a blob of packed doubles per pair, a JSON text per pair.
// The pairs cycle over the 1225 pairs of 50 photographs, so the database grows and WAL
// checkpoints happen as in a run. Counter: bytes of database per pair.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "block/store.h"
#include "pair_run/json_report.h"
#include "pair_run/run_info.h"
#include "robust_orientation/estimate.h"
#include "testing/orient_scene.h"

namespace {

constexpr int kPhotographs = 50;

struct Pair {
    ro::OrientationResult result;
    std::string report;
};

const Pair& Oriented(std::int64_t tie_points) {
    static std::vector<std::pair<std::int64_t, Pair>> made;
    for (const auto& [n, pair] : made) {
        if (n == tie_points) return pair;
    }
    scene::SceneOptions options = scene::OrientSceneOptions(static_cast<int>(tie_points), 7);
    options.outlier_fraction = 0.2;
    const scene::OrientScene s = scene::MakeOrientScene({0.03, -0.02, 0.02, -0.03, 0.4}, options);
    Pair p;
    p.result = ro::EstimateOrientation(s.tie_points, s.camera1, s.camera2, {});
    pair_run::RunInfo run;
    run.camera1 = {s.camera1, ""};
    run.camera2 = {s.camera2, ""};
    run.keys1_file = "a.key";
    run.keys2_file = "b.key";
    p.report = pair_run::JsonReport(p.result, run);
    made.emplace_back(tie_points, std::move(p));
    return made.back().second;
}

std::string FreshPath(const char* name) {
    const auto dir = std::filesystem::temp_directory_path() / "bench_block_store";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / name).string();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    return path;
}

// The (photo1, photo2) of the k-th pair written: all pairs of the photographs in turn.
std::pair<int, int> PairNumber(std::int64_t k) {
    const auto i = static_cast<int>(k % (kPhotographs * (kPhotographs - 1) / 2));
    int a = 1;
    int left = i;
    while (left >= kPhotographs - a) left -= kPhotographs - a++;
    return {a, a + 1 + left};
}

void BM_StoreWritePair(benchmark::State& state) {
    const Pair& pair = Oriented(state.range(0));
    const std::string path = FreshPath("store.db");
    std::int64_t written = 0;
    {
        block::BlockStore store(path);
        std::vector<block::Photograph> photos(kPhotographs);
        for (int i = 0; i < kPhotographs; ++i)
            photos[static_cast<std::size_t>(i)].name = std::to_string(i);
        store.Register(photos);
        for (auto _ : state) {
            const auto [a, b] = PairNumber(written++);
            store.WritePair({a, b, &pair.result, pair.report, 0.15});
        }
    }
    state.counters["db_bytes_per_pair"] =
        static_cast<double>(std::filesystem::file_size(path)) / static_cast<double>(written);
    state.counters["tie_points"] = static_cast<double>(pair.result.points.size());
}
BENCHMARK(BM_StoreWritePair)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tie points of a pair as one JSON text: an array of
// [row1, col1, row2, col2, "status", ratio, sampson_px, y_parallax_px, w] (null: not finite).
void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string PointsJson(const std::vector<ro::PointResult>& points) {
    std::string out = "[";
    for (const ro::PointResult& p : points) {
        if (out.size() > 1) out += ',';
        out += '[';
        for (double v : {p.row1_px, p.col1_px, p.row2_px, p.col2_px}) {
            AppendNumber(out, v);
            out += ',';
        }
        out += '"';
        out += ro::PointStatusCode(p.status);
        out += '"';
        for (double v : {p.ratio, p.sampson_px, p.y_parallax_px, p.w}) {
            out += ',';
            AppendNumber(out, v);
        }
        out += ']';
    }
    out += ']';
    return out;
}

constexpr int kBatch = 64;  // rows per INSERT statement when batched

// Bare SQLite with the store's settings; `blob` chooses the layout, `batched` inserts the
// rows kBatch at a time.
void WriteBare(benchmark::State& state, bool blob, bool batched = false, bool json = false) {
    const Pair& pair = Oriented(state.range(0));
    const std::string path = FreshPath(blob ? "blob.db" : "rows.db");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE pairs (photo1 INTEGER, photo2 INTEGER, report_json TEXT,"
                 " PRIMARY KEY (photo1, photo2));"
                 "CREATE TABLE tie_points (photo1 INTEGER, photo2 INTEGER, match INTEGER,"
                 " row1 REAL, col1 REAL, row2 REAL, col2 REAL, ratio REAL, status TEXT,"
                 " sampson_px REAL, y_parallax_px REAL, w REAL,"
                 " PRIMARY KEY (photo1, photo2, match)) WITHOUT ROWID;"
                 "CREATE TABLE tie_point_blobs (photo1 INTEGER, photo2 INTEGER, points BLOB,"
                 " PRIMARY KEY (photo1, photo2));",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* row = nullptr;
    sqlite3_stmt* tie = nullptr;
    sqlite3_stmt* blob_row = nullptr;
    sqlite3_stmt* drop = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO pairs VALUES (?1, ?2, ?3)", -1, &row, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO tie_points VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                       "?11, ?12)",
                       -1, &tie, nullptr);
    std::string many = "INSERT INTO tie_points VALUES ";
    for (int k = 0; k < kBatch; ++k)
        many += k == 0 ? "(?,?,?,?,?,?,?,?,?,?,?,?)" : ",(?,?,?,?,?,?,?,?,?,?,?,?)";
    sqlite3_stmt* ties = nullptr;
    sqlite3_prepare_v2(db, many.c_str(), -1, &ties, nullptr);
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO tie_point_blobs VALUES (?1, ?2, ?3)", -1,
                       &blob_row, nullptr);
    sqlite3_prepare_v2(db, "DELETE FROM tie_points WHERE photo1 = ?1 AND photo2 = ?2", -1, &drop,
                       nullptr);
    std::int64_t written = 0;
    std::vector<unsigned char> packed;
    for (auto _ : state) {
        const auto [a, b] = PairNumber(written++);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_reset(row);
        sqlite3_bind_int(row, 1, a);
        sqlite3_bind_int(row, 2, b);
        sqlite3_bind_text(row, 3, pair.report.data(), static_cast<int>(pair.report.size()),
                          SQLITE_STATIC);
        sqlite3_step(row);
        if (json) {
            const std::string text = PointsJson(pair.result.points);
            sqlite3_reset(blob_row);
            sqlite3_bind_int(blob_row, 1, a);
            sqlite3_bind_int(blob_row, 2, b);
            sqlite3_bind_text(blob_row, 3, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
            sqlite3_step(blob_row);
        } else if (blob) {
            // Eight doubles and the status per point, as they lie in memory.
            packed.clear();
            for (const ro::PointResult& p : pair.result.points) {
                const double values[] = {p.row1_px, p.col1_px,    p.row2_px,       p.col2_px,
                                         p.ratio,   p.sampson_px, p.y_parallax_px, p.w};
                const auto* bytes = reinterpret_cast<const unsigned char*>(values);
                packed.insert(packed.end(), bytes, bytes + sizeof values);
                packed.push_back(static_cast<unsigned char>(p.status));
            }
            sqlite3_reset(blob_row);
            sqlite3_bind_int(blob_row, 1, a);
            sqlite3_bind_int(blob_row, 2, b);
            sqlite3_bind_blob(blob_row, 3, packed.data(), static_cast<int>(packed.size()),
                              SQLITE_STATIC);
            sqlite3_step(blob_row);
        } else {
            sqlite3_reset(drop);
            sqlite3_bind_int(drop, 1, a);
            sqlite3_bind_int(drop, 2, b);
            sqlite3_step(drop);
            const std::size_t n = pair.result.points.size();
            std::size_t done = 0;
            for (; batched && done + kBatch <= n; done += kBatch) {
                sqlite3_reset(ties);
                for (int k = 0; k < kBatch; ++k) {
                    const ro::PointResult& p =
                        pair.result.points[done + static_cast<std::size_t>(k)];
                    const int o = 12 * k;
                    sqlite3_bind_int(ties, o + 1, a);
                    sqlite3_bind_int(ties, o + 2, b);
                    sqlite3_bind_int(ties, o + 3, p.match);
                    sqlite3_bind_double(ties, o + 4, p.row1_px);
                    sqlite3_bind_double(ties, o + 5, p.col1_px);
                    sqlite3_bind_double(ties, o + 6, p.row2_px);
                    sqlite3_bind_double(ties, o + 7, p.col2_px);
                    sqlite3_bind_double(ties, o + 8, p.ratio);
                    sqlite3_bind_text(ties, o + 9, ro::PointStatusCode(p.status), -1,
                                      SQLITE_STATIC);
                    sqlite3_bind_double(ties, o + 10, p.sampson_px);
                    sqlite3_bind_double(ties, o + 11, p.y_parallax_px);
                    sqlite3_bind_double(ties, o + 12, p.w);
                }
                sqlite3_step(ties);
            }
            for (; done < n; ++done) {
                const ro::PointResult& p = pair.result.points[done];
                sqlite3_reset(tie);
                sqlite3_bind_int(tie, 1, a);
                sqlite3_bind_int(tie, 2, b);
                sqlite3_bind_int(tie, 3, p.match);
                sqlite3_bind_double(tie, 4, p.row1_px);
                sqlite3_bind_double(tie, 5, p.col1_px);
                sqlite3_bind_double(tie, 6, p.row2_px);
                sqlite3_bind_double(tie, 7, p.col2_px);
                sqlite3_bind_double(tie, 8, p.ratio);
                sqlite3_bind_text(tie, 9, ro::PointStatusCode(p.status), -1, SQLITE_STATIC);
                sqlite3_bind_double(tie, 10, p.sampson_px);
                sqlite3_bind_double(tie, 11, p.y_parallax_px);
                sqlite3_bind_double(tie, 12, p.w);
                sqlite3_step(tie);
            }
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    for (sqlite3_stmt* s : {row, tie, ties, blob_row, drop}) sqlite3_finalize(s);
    sqlite3_close(db);
    state.counters["db_bytes_per_pair"] =
        static_cast<double>(std::filesystem::file_size(path)) / static_cast<double>(written);
}

void BM_RowPerTiePoint(benchmark::State& state) { WriteBare(state, false); }
void BM_RowPerTiePointBatched(benchmark::State& state) { WriteBare(state, false, true); }
void BM_BlobPerPair(benchmark::State& state) { WriteBare(state, true); }
void BM_JsonPerPair(benchmark::State& state) { WriteBare(state, false, false, true); }
BENCHMARK(BM_JsonPerPair)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RowPerTiePointBatched)
    ->Arg(1000)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RowPerTiePoint)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BlobPerPair)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the store writes beside the tie points: the estimation of the same pair, for scale
// (matching, which dominates a real pair, is not in it).
void BM_EstimateOrientation(benchmark::State& state) {
    scene::SceneOptions options = scene::OrientSceneOptions(static_cast<int>(state.range(0)), 7);
    options.outlier_fraction = 0.2;
    const scene::OrientScene s = scene::MakeOrientScene({0.03, -0.02, 0.02, -0.03, 0.4}, options);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ro::EstimateOrientation(s.tie_points, s.camera1, s.camera2, {}));
    }
}
BENCHMARK(BM_EstimateOrientation)
    ->Arg(1000)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
