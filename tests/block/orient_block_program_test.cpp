// The built `orient-block` as a user meets it: every pair's stored document is what `orient
// --json` writes for the pair, the database is the same for every thread count and for two
// shards into one database, a second run goes on where the first stopped, and runs killed
// at random moments and resumed end with the database of an uninterrupted run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "block/store.h"
#include "testing/child_process.h"
#include "testing/keypoint_files.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using test_support::ChildProcess;
using test_support::ProgramResult;
using test_support::ReadFileBytes;
using test_support::RunProgram;
using test_support::TempDir;

const std::string kData = RO_SOURCE_DIR "/data/";

ProgramResult OrientBlock(std::vector<std::string> args) {
    return RunProgram(ORIENT_BLOCK_PROGRAM, args, 300.0);
}

// Every row of every table of a database as text, without the columns that differ from run
// to run (times), tables and rows in a fixed order.
std::string DatabaseRows(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open " + path;
    }
    std::vector<std::string> tables;
    std::string rows;
    const auto each = [&](const std::string& sql, auto&& row) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            rows += "cannot prepare " + sql + "\n";
            return;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) row(statement);
        sqlite3_finalize(statement);
    };
    each("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", [&](auto* s) {
        tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    });
    for (const std::string& table : tables) {
        std::vector<std::string> lines;
        each("SELECT * FROM \"" + table + "\"", [&](sqlite3_stmt* s) {
            std::string line = table + ":";
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                const std::string column = sqlite3_column_name(s, c);
                if (column == "seconds" || column.starts_with("created") ||
                    column.ends_with("_at") || column.find("mtime") != std::string::npos) {
                    continue;
                }
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, c));
                line += " " + column + "=" +
                        std::string(bytes ? bytes : "",
                                    static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
            }
            lines.push_back(std::move(line));
        });
        std::sort(lines.begin(), lines.end());
        for (const std::string& line : lines) rows += line + "\n";
    }
    sqlite3_close(db);
    return rows;
}

// The eight bundled key files under names of their own, and their cameras: the rectified
// rig pair with its one camera, the raw pair with a camera each, the rest the built-in one.
struct BundledBlock {
    TempDir dir;
    std::vector<std::string> keys;
    std::map<std::string, std::string> camera_of;  // by photograph name
    std::string cameras_list;

    BundledBlock() {
        const std::pair<const char*, const char*> files[] = {
            {"example/img1.key", "img1"},           {"example/img2.key", "img2"},
            {"real/stereo/left.key", "rig-l"},      {"real/stereo/right.key", "rig-r"},
            {"real/stereo-raw/left.key", "raw-l"},  {"real/stereo-raw/right.key", "raw-r"},
            {"real/street/leuvenA.key", "leuvenA"}, {"real/street/leuvenB.key", "leuvenB"}};
        for (const auto& [file, name] : files) {
            keys.push_back(dir.File(std::string(name) + ".key"));
            std::filesystem::copy_file(kData + file, keys.back());
        }
        camera_of = {{"rig-l", kData + "real/stereo/camera.txt"},
                     {"rig-r", kData + "real/stereo/camera.txt"},
                     {"raw-l", kData + "real/stereo-raw/left.cam"},
                     {"raw-r", kData + "real/stereo-raw/right.cam"}};
        std::string text = "# photograph camera\n";
        for (const auto& [name, camera] : camera_of) text += name + " " + camera + "\n";
        cameras_list = dir.Write("cameras.txt", text);
    }

    std::vector<std::string> Args(const std::string& db, std::vector<std::string> more) const {
        std::vector<std::string> args = {"--db", db, "--cameras", cameras_list, "--quiet"};
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), keys.begin(), keys.end());
        return args;
    }
};

// Every stored document equals orient's on the same pair, paths and options, whatever its
// outcome; the rig pairs are oriented with their cameras.
TEST(OrientBlock, EveryPairIsWhatOrientWritesForIt) {
    const BundledBlock block;
    const std::string db = block.dir.File("block.db");
    const ProgramResult run = OrientBlock(block.Args(db, {"--seed", "7", "--ratio", "0.7"}));
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const std::vector<block::StoredPair> pairs = block::BlockStore(db).Pairs();
    ASSERT_EQ(pairs.size(), 28u);
    int oriented_with_cameras = 0;
    int compared = 0;
    for (const block::StoredPair& pair : pairs) {
        const std::string json = block.dir.File("pair.json");
        std::vector<std::string> args = {"--quiet", "--force", "--json",  json,
                                         "--seed",  "7",       "--ratio", "0.7"};
        const auto camera1 = block.camera_of.find(pair.name1);
        const auto camera2 = block.camera_of.find(pair.name2);
        const std::string file1 = camera1 == block.camera_of.end() ? "" : camera1->second;
        const std::string file2 = camera2 == block.camera_of.end() ? "" : camera2->second;
        // orient has no way to give photograph 2 the built-in camera beside a camera file.
        if (!file1.empty() && file2.empty()) continue;
        ++compared;
        if (!file1.empty()) args.insert(args.end(), {"--camera", file1});
        if (!file2.empty() && file2 != file1) args.insert(args.end(), {"--camera2", file2});
        args.push_back(block.dir.File(pair.name1 + ".key"));
        args.push_back(block.dir.File(pair.name2 + ".key"));
        const ProgramResult orient = RunProgram(ORIENT_PROGRAM, args, 120.0);
        ASSERT_TRUE(orient.exit_status == 0 || orient.exit_status == 3) << orient.err;
        EXPECT_EQ(pair.report_json, ReadFileBytes(json)) << pair.name1 << " " << pair.name2;
        oriented_with_cameras += pair.outcome == "oriented" && !file1.empty() && !file2.empty();
    }
    EXPECT_EQ(compared, 20);
    EXPECT_GE(oriented_with_cameras, 2);
}

// One thread or two, the whole selection or two shards into one database: the same rows.
TEST(OrientBlock, TheDatabaseIsTheSameForAnyThreadCountAndForShards) {
    const BundledBlock block;
    const auto database = [&](const std::string& name,
                              const std::vector<std::vector<std::string>>& runs) {
        const std::string db = block.dir.File(name);
        for (const auto& more : runs) {
            std::vector<std::string> args = {"--pairs", "sequential:3"};
            args.insert(args.end(), more.begin(), more.end());
            const ProgramResult run = OrientBlock(block.Args(db, args));
            EXPECT_EQ(run.exit_status, 0) << run.err;
        }
        return DatabaseRows(db);
    };
    const std::string one = database("one.db", {{"--threads", "1"}});
    EXPECT_NE(one.find("pairs:"), std::string::npos) << one;
    EXPECT_EQ(database("two.db", {{"--threads", "2"}}), one);
    EXPECT_EQ(database("shards.db", {{"--shard", "2/2", "--threads", "2"},
                                     {"--shard", "1/2", "--threads", "1"}}),
              one);
}

// A second run skips what is done and says so; other options are refused; a key file with
// other content has its pairs oriented again, one only touched has not.
TEST(OrientBlock, ASecondRunGoesOnAndSeesChanges) {
    const BundledBlock block;
    const std::string db = block.dir.File("block.db");
    std::vector<std::string> args = {"--db",         db,          "--pairs",
                                     "sequential:2", "--cameras", block.cameras_list};
    args.insert(args.end(), block.keys.begin(), block.keys.end());
    ProgramResult run = OrientBlock(args);
    ASSERT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.out.find("13 pairs in the selection: 0 already in"), std::string::npos)
        << run.out;
    run = OrientBlock(args);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.err.find("orient-block: 13 of 13 pairs already in " + db + ", 0 to orient"),
              std::string::npos)
        << run.err;

    std::vector<std::string> other = args;
    other.insert(other.begin(), {"--sigma", "0.4"});
    run = OrientBlock(other);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("orient-block: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("sigma"), std::string::npos) << run.err;

    // img2 (photograph 2) gets img1's content: its pairs (img1-img2, img2-rig-l, img2-rig-r)
    // are oriented again.
    const std::string rows = DatabaseRows(db);
    std::filesystem::copy_file(block.keys[0], block.keys[1],
                               std::filesystem::copy_options::overwrite_existing);
    run = OrientBlock(args);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.err.find("changed since the last run: img2"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("10 of 13 pairs already in"), std::string::npos) << run.err;
    EXPECT_NE(DatabaseRows(db), rows);

    // The same bytes with a new time: nothing to do.
    std::filesystem::last_write_time(block.keys[1], std::filesystem::file_time_type::clock::now());
    run = OrientBlock(args);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.err.find("13 of 13 pairs already in"), std::string::npos) << run.err;
}

// A block of 45 pairs of some 50 ms each: 10 photographs of 600 keypoints, the same
// keypoints shifted from photograph to photograph.
struct SyntheticBlock {
    TempDir dir;
    std::vector<std::string> keys;
    SyntheticBlock() {
        for (const char* name : {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"}) {
            const auto shift = static_cast<float>(3 * keys.size());
            keys.push_back(
                dir.Write(std::string(name) + ".key", scene::MakeKeyFile(600, 128, 11, shift)));
        }
    }
    std::vector<std::string> Args(const std::string& db) const {
        std::vector<std::string> args = {"--db", db, "--threads", "2", "--quiet"};
        args.insert(args.end(), keys.begin(), keys.end());
        return args;
    }
};

// SIGKILL at 20 random moments, each run resuming the last; then SIGINT once: status 130, the
// message, and a run to the end. The databases equal an uninterrupted run's.
TEST(OrientBlock, KilledAndResumedRunsEndWithTheSameDatabase) {
    const SyntheticBlock block;
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult whole = OrientBlock(block.Args(block.dir.File("whole.db")));
    ASSERT_EQ(whole.exit_status, 0) << whole.err;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string expected = DatabaseRows(block.dir.File("whole.db"));
    RecordProperty("uninterrupted_seconds", std::to_string(seconds));

    const std::string db = block.dir.File("killed.db");
    std::mt19937 rng(2026);
    int killed = 0;
    for (int attempt = 0; attempt < 40 && killed < 20; ++attempt) {
        // About two pairs' work at most between the start and the kill, so that the 20 runs
        // together reach through the whole run: start-up, hashing, pairs, commits.
        std::uniform_real_distribution<double> moment(0.0, seconds / 12.0);
        ChildProcess child(ORIENT_BLOCK_PROGRAM, block.Args(db), block.dir.File("out"),
                           block.dir.File("err"));
        std::this_thread::sleep_for(std::chrono::duration<double>(moment(rng)));
        child.Signal(SIGKILL);
        const ProgramResult run = child.Wait(60.0);
        killed += run.signal == SIGKILL;
        EXPECT_TRUE(run.signal == SIGKILL || run.exit_status == 0) << run.err;
    }
    RecordProperty("killed_runs", std::to_string(killed));
    EXPECT_EQ(killed, 20);
    const ProgramResult rest = OrientBlock(block.Args(db));
    ASSERT_EQ(rest.exit_status, 0) << rest.err;
    EXPECT_EQ(DatabaseRows(db), expected);

    // A fresh database interrupted a third of the way: the pairs done are kept.
    const std::string interrupted = block.dir.File("interrupted.db");
    ChildProcess child(ORIENT_BLOCK_PROGRAM, block.Args(interrupted), block.dir.File("out"),
                       block.dir.File("err"));
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds / 3));
    child.Signal(SIGINT);
    const ProgramResult run = child.Wait(60.0);
    EXPECT_EQ(run.exit_status, 130) << run.err;
    EXPECT_NE(run.err.find("orient-block: interrupted: run the same command again to go on"),
              std::string::npos)
        << run.err;
    EXPECT_LT(block::BlockStore(interrupted).DonePairs().size(), 45u);
    EXPECT_EQ(OrientBlock(block.Args(interrupted)).exit_status, 0);
    EXPECT_EQ(DatabaseRows(interrupted), expected);
}

}  // namespace
