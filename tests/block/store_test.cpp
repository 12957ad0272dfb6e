// The block database: what is written is what the sqlite3 shell reads back, a reopened
// database goes on where it stopped, changed settings and key files are never mixed in,
// files that are not block databases are refused by name, several writers at once and a
// full disk leave a consistent database.
#include "block/store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "testing/case_name.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::CaseName;
using test_support::RunProgram;
using test_support::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRadPerDeg = 0.017453292519943295;

// `points` tie points, every third snooped, every fifth a robust-loop outlier.
ro::OrientationResult Result(ro::Outcome outcome, int points) {
    ro::OrientationResult r;
    r.outcome = outcome;
    r.reason = outcome == ro::Outcome::oriented ? "" : "only 9 inliers, at least 15 needed";
    r.matches = points;
    r.elements = {0.012, -0.034, 0.5 * kRadPerDeg, -1.25 * kRadPerDeg, 12.5 * kRadPerDeg};
    r.orientation = ro::OrientationFromElements(r.elements);
    r.precision.sigma = {0.0004, 0.0003, 0.01 * kRadPerDeg, 0.02 * kRadPerDeg, 0.005 * kRadPerDeg};
    for (int k = 0; k < 5; ++k)
        r.precision.covariance(k, k) = r.precision.sigma[k] * r.precision.sigma[k];
    r.precision.base_sigma = {0.00001, 0.0004, 0.0003};
    r.adjustment.sigma0_px = 0.41;
    r.adjustment.chi2 = {0.67, 0.9, 1.1, 500, 0.05, false};
    r.warnings = {{"W-CORR-BY-OMEGA", "by and omega poorly separable", -0.98}};
    for (int m = 1; m <= points; ++m) {
        ro::PointResult p;
        p.match = m;
        p.row1_px = 10.5 * m;
        p.col1_px = 20.25 * m;
        p.row2_px = 11.0 * m;
        p.col2_px = 19.0 * m;
        p.ratio = 0.5;
        p.status = m % 5 == 0   ? ro::PointStatus::ransac_outlier
                   : m % 3 == 0 ? ro::PointStatus::snooped
                                : ro::PointStatus::inlier;
        p.sampson_px = 0.1 * m;
        p.w = p.status == ro::PointStatus::ransac_outlier ? kNaN : -0.5;
        r.points.push_back(p);
    }
    return r;
}

block::Photograph Photo(const std::string& name, std::uint64_t hash = 1) {
    block::Photograph p;
    p.name = name;
    p.key_file = "keys/" + name + ".key";
    p.key_bytes = 1000;
    p.key_mtime_ns = 5;
    p.key_hash = hash;
    p.camera_text = "focal_mm = 13.2\n";
    return p;
}

void Write(block::BlockStore& store, int a, int b, const ro::OrientationResult& result) {
    store.WritePair(
        {a, b, &result, R"({"program": {"seed": 42}, "outcome": {"code": "x"}})", 0.25});
}

// A query's rows as the sqlite3 shell prints them in JSON mode.
nlohmann::json Query(const std::string& db, const std::string& sql) {
    const auto r = RunProgram(RO_SQLITE3, {"-json", db, sql});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    return r.out.empty() ? nlohmann::json::array() : nlohmann::json::parse(r.out);
}

class StoreTest : public testing::Test {
  protected:
    TempDir dir_;
    std::string db_ = dir_.File("block.db");
};

TEST_F(StoreTest, WhatIsWrittenIsWhatSqlite3Reads) {
    block::BlockStore store(db_);
    const block::Registration reg = store.Register({Photo("a"), Photo("b"), Photo("c")});
    ASSERT_EQ(reg.ids.size(), 3u);
    const ro::OrientationResult oriented = Result(ro::Outcome::oriented, 30);
    ro::OrientationResult across = oriented;  // base without X component: by, bz undefined
    across.elements.by = kNaN;
    across.elements.bz = kNaN;
    across.precision.sigma[0] = kNaN;
    Write(store, reg.ids[0], reg.ids[1], oriented);
    Write(store, reg.ids[0], reg.ids[2], across);
    Write(store, reg.ids[1], reg.ids[2], Result(ro::Outcome::too_few_inliers, 12));

    const auto rows = Query(db_,
                            "SELECT outcome, oriented, matches, inliers, snooped, by, by_sigma, "
                            "omega_deg, kappa_sigma_deg, base_y, sigma0_px, chi2_accepted, "
                            "json_extract(covariance, '$[3][3]') AS phi_var, warnings, seed, "
                            "seconds, reason FROM pairs ORDER BY photo1, photo2");
    ASSERT_EQ(rows.size(), 3u);
    const auto& r = rows[0];
    EXPECT_EQ(r["outcome"], "oriented");
    EXPECT_EQ(r["oriented"], 1);
    EXPECT_EQ(r["matches"], 30);
    EXPECT_EQ(r["inliers"], 16);  // 30 less 6 outliers less 8 snooped
    EXPECT_EQ(r["snooped"], 8);
    EXPECT_NEAR(r["by"].get<double>(), 0.012, 1e-15);
    EXPECT_NEAR(r["by_sigma"].get<double>(), 0.0004, 1e-15);
    EXPECT_NEAR(r["omega_deg"].get<double>(), 0.5, 1e-12);
    EXPECT_NEAR(r["kappa_sigma_deg"].get<double>(), 0.005, 1e-12);
    EXPECT_NEAR(r["base_y"].get<double>(), oriented.orientation.base.y(), 1e-15);
    EXPECT_NEAR(r["sigma0_px"].get<double>(), 0.41, 1e-15);
    EXPECT_EQ(r["chi2_accepted"], 0);
    EXPECT_NEAR(r["phi_var"].get<double>(), 0.02 * 0.02, 1e-12);  // degrees squared
    EXPECT_EQ(r["warnings"], R"(["W-CORR-BY-OMEGA"])");
    EXPECT_EQ(r["seed"], 42);
    EXPECT_EQ(r["seconds"], 0.25);
    EXPECT_TRUE(rows[1]["by"].is_null());
    EXPECT_TRUE(rows[1]["by_sigma"].is_null());
    EXPECT_NEAR(rows[1]["omega_deg"].get<double>(), 0.5, 1e-12);
    // A refusal keeps its reason and counts, no orientation.
    EXPECT_EQ(rows[2]["reason"], "only 9 inliers, at least 15 needed");
    EXPECT_TRUE(rows[2]["omega_deg"].is_null());
    EXPECT_TRUE(rows[2]["sigma0_px"].is_null());

    // The tie points: a blob of their count, read back whole.
    EXPECT_EQ(Query(db_, "SELECT count, length(points) AS bytes FROM tie_points WHERE photo2 = 2"),
              nlohmann::json::parse(R"([{"count": 30, "bytes": 2160}])"));
    const std::vector<block::StoredTiePoint> ties = store.TiePoints(reg.ids[0], reg.ids[1]);
    ASSERT_EQ(ties.size(), oriented.points.size());
    for (std::size_t k = 0; k < ties.size(); ++k) {
        const ro::PointResult& p = oriented.points[k];
        const block::StoredTiePoint& t = ties[k];
        EXPECT_EQ(t.match, p.match);
        EXPECT_EQ(t.status, p.status);
        EXPECT_EQ(std::vector<double>({t.row1_px, t.col1_px, t.row2_px, t.col2_px, t.ratio,
                                       t.sampson_px, t.y_parallax_px}),
                  std::vector<double>({p.row1_px, p.col1_px, p.row2_px, p.col2_px, p.ratio,
                                       p.sampson_px, p.y_parallax_px}));
        EXPECT_EQ(std::isnan(t.w), std::isnan(p.w));
    }
    EXPECT_TRUE(store.TiePoints(reg.ids[1], reg.ids[0]).empty());

    const std::vector<block::StoredPair> stored = store.Pairs();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].name1 + stored[0].name2, "ab");
    EXPECT_EQ(stored[0].warnings, std::vector<std::string>{"W-CORR-BY-OMEGA"});
    EXPECT_TRUE(std::isnan(stored[2].sigma0_px));
    EXPECT_FALSE(stored[0].report_json.empty());
    EXPECT_TRUE(store.Pairs(false)[0].report_json.empty());

    // Writing a pair again replaces it and its tie points (30 of them, now 4).
    Write(store, reg.ids[0], reg.ids[1], Result(ro::Outcome::too_few_matches, 4));
    EXPECT_EQ(Query(db_,
                    "SELECT outcome, (SELECT sum(count) FROM tie_points) AS ties FROM pairs "
                    "WHERE photo2 = 2"),
              nlohmann::json::parse(R"([{"outcome": "too_few_matches", "ties": 46}])"));
}

TEST_F(StoreTest, ReopenedDatabaseKnowsItsPairsAndSettings) {
    const std::string settings = R"({"ratio": 0.6, "sigma": 0.5, "seed": 42})";
    {
        block::BlockStore store(db_);
        EXPECT_FALSE(store.UseSettings(settings));
        const auto ids = store.Register({Photo("a"), Photo("b"), Photo("c")}).ids;
        Write(store, ids[1], ids[2], Result(ro::Outcome::oriented, 3));
        Write(store, ids[0], ids[1], Result(ro::Outcome::no_model, 3));
    }
    block::BlockStore store(db_);
    EXPECT_EQ(store.DonePairs(), (std::vector<std::pair<int, int>>{{1, 2}, {2, 3}}));
    EXPECT_FALSE(store.UseSettings(R"({"seed": 42, "sigma": 0.5, "ratio": 0.6})"));  // key order
    EXPECT_EQ(store.UseSettings(R"({"ratio": 0.6, "sigma": 0.3, "seed": 42})"),
              db_ +
                  ": the pairs in it were oriented with sigma 0.5, this run asks for 0.3: "
                  "use another database or the same settings");
    EXPECT_EQ(store.UseSettings(R"({"ratio": 0.6, "sigma": 0.5})"),
              db_ +
                  ": the pairs in it were oriented with seed 42, this run asks for (none): "
                  "use another database or the same settings");
    ASSERT_TRUE(store.Find("b"));
    EXPECT_EQ(store.Find("b")->id, 2);
    EXPECT_EQ(store.Find("b")->key_hash, 1u);
    EXPECT_FALSE(store.Find("d"));

    // Read-only access (exports) reads everything and writes nothing.
    const block::BlockStore reader(db_, block::BlockStore::Access::read_only);
    EXPECT_EQ(reader.Pairs().size(), 2u);
    EXPECT_THROW(block::BlockStore(dir_.File("none.db"), block::BlockStore::Access::read_only),
                 block::StoreError);
}

struct RegisterCase {
    const char* name;
    void (*change)(block::Photograph&);
    bool changed;
};

class RegisterTest : public StoreTest, public testing::WithParamInterface<RegisterCase> {};

// A photograph whose key file content or camera changed loses its pairs (and their tie
// points); a key file only touched or moved keeps them and has its identity updated.
TEST_P(RegisterTest, ContentOrCameraChangeDropsThePhotographsPairs) {
    block::BlockStore store(db_);
    const auto ids = store.Register({Photo("a"), Photo("b"), Photo("c")}).ids;
    Write(store, ids[0], ids[1], Result(ro::Outcome::oriented, 5));
    Write(store, ids[1], ids[2], Result(ro::Outcome::oriented, 5));
    Write(store, ids[0], ids[2], Result(ro::Outcome::oriented, 5));
    block::Photograph b = Photo("b");
    GetParam().change(b);
    const block::Registration again = store.Register({Photo("a"), b, Photo("c")});
    EXPECT_EQ(again.ids, ids);
    EXPECT_EQ(again.changed,
              GetParam().changed ? std::vector<std::string>{"b"} : std::vector<std::string>{});
    EXPECT_EQ(store.DonePairs().size(), GetParam().changed ? 1u : 3u);
    EXPECT_EQ(Query(db_, "SELECT sum(count) AS n FROM tie_points")[0]["n"],
              GetParam().changed ? 5 : 15);
    const auto found = store.Find("b");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->key_hash, b.key_hash);
    EXPECT_EQ(found->key_mtime_ns, b.key_mtime_ns);
    EXPECT_EQ(found->camera_text, b.camera_text);
}

INSTANTIATE_TEST_SUITE_P(
    Store, RegisterTest,
    testing::Values(
        RegisterCase{"Touched", [](block::Photograph& p) { p.key_mtime_ns = 99; }, false},
        RegisterCase{"Moved", [](block::Photograph& p) { p.key_file = "x/b.key"; }, false},
        RegisterCase{"NewContent",
                     [](block::Photograph& p) {
                         p.key_hash = 2;
                         p.key_bytes = 1001;
                     },
                     true},
        RegisterCase{"NewCamera", [](block::Photograph& p) { p.camera_text = "focal_mm = 24\n"; },
                     true}),
    CaseName());

struct RefusalCase {
    const char* name;
    const char* content;  // nullptr: no file
    const char* setup;    // SQL run by the sqlite3 shell on the file first, or nullptr
    const char* path;     // nullptr: block.db in the test's folder
    const char* reason;
};

class RefusalTest : public StoreTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, NamesTheFileAndTheReason) {
    const RefusalCase& c = GetParam();
    const std::string path = c.path != nullptr ? dir_.File(c.path) : db_;
    if (c.content != nullptr) dir_.Write("block.db", c.content);
    if (c.setup != nullptr) {
        if (std::string(c.name) == "NewerSchema") {
            block::BlockStore{db_};  // a block database of a later schema
        }
        ASSERT_EQ(RunProgram(RO_SQLITE3, {db_, c.setup}).exit_status, 0);
    }
    if (std::string(c.name) == "ReadOnlyFile") {
        block::BlockStore{db_};
        std::filesystem::permissions(
            db_, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    }
    std::string reason = c.reason;
    if (const auto at = reason.find("PATH"); at != std::string::npos) {
        reason.replace(at, 4, std::filesystem::path(path).parent_path().string());
    }
    try {
        block::BlockStore store(path);
        FAIL() << "opened " << path;
    } catch (const block::StoreError& e) {
        EXPECT_EQ(e.what(), path + ": " + reason);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Store, RefusalTest,
    testing::Values(
        RefusalCase{"Garbage",
                    "\x01\x02garbage that is long enough to hold a header........"
                    "....................................................",
                    nullptr, nullptr, "not a database"},
        RefusalCase{"OtherDatabase", nullptr, "PRAGMA user_version = 7; CREATE TABLE t (x);",
                    nullptr,
                    "not a block database (application id 0, user_version 7, this program "
                    "writes 1)"},
        RefusalCase{"NewerSchema", nullptr, "PRAGMA user_version = 2;", nullptr,
                    "written by a newer version of this program (schema version 2, this "
                    "program reads 1)"},
        RefusalCase{"MissingFolder", nullptr, nullptr, "no/such/block.db",
                    "cannot create: the folder PATH does not exist"},
        RefusalCase{"AFolder", nullptr, nullptr, ".", "cannot open: a folder, not a database file"},
        RefusalCase{"ReadOnlyFile", nullptr, nullptr, nullptr,
                    "cannot write: the file is read-only"}),
    CaseName());

TEST_F(StoreTest, AnEmptyFileBecomesABlockDatabase) {
    dir_.Write("block.db", "");
    block::BlockStore{db_};
    EXPECT_EQ(Query(db_, "PRAGMA user_version"), nlohmann::json::parse(R"([{"user_version": 1}])"));
    EXPECT_EQ(Query(db_, "PRAGMA journal_mode"),
              nlohmann::json::parse(R"([{"journal_mode": "wal"}])"));
}

// Writes large pairs under a file size limit until the store refuses; exits with status 3
// after printing the refusal.
[[noreturn]] void FillTheDisk(const std::string& db) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    block::BlockStore store(db);
    const auto ids = store.Register({Photo("a"), Photo("b"), Photo("c")}).ids;
    const ro::OrientationResult big = Result(ro::Outcome::oriented, 3000);
    try {
        for (int i = 0; i < 100; ++i)
            Write(store, ids[static_cast<std::size_t>(i % 2)], ids[2], big);
    } catch (const block::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        std::exit(3);
    }
    std::exit(0);
}

// A file size limit stands in for a full disk: the write is refused with the file's name
// and the database keeps every pair committed before.
TEST_F(StoreTest, FullDiskRefusesTheWriteAndKeepsWhatWasCommitted) {
    {
        block::BlockStore store(db_);
        const auto ids = store.Register({Photo("a"), Photo("b")}).ids;
        Write(store, ids[0], ids[1], Result(ro::Outcome::oriented, 10));
    }
    // A file over its size limit (EFBIG) is an I/O error to SQLite; a full disk (ENOSPC)
    // says "database or disk is full". Both are refused as writes that failed.
    EXPECT_EXIT(FillTheDisk(db_), testing::ExitedWithCode(3), "block.db: cannot write: ");
    block::BlockStore store(db_);
    EXPECT_GE(store.DonePairs().size(), 1u);
    EXPECT_EQ(Query(db_, "PRAGMA integrity_check")[0]["integrity_check"], "ok");
}

}  // namespace
