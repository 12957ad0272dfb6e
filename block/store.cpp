// The block database on SQLite: one connection, statements prepared once and reused, one
// IMMEDIATE transaction per write so that a second process waits (busy timeout) instead of
// failing half-way. WAL with synchronous=NORMAL: a committed transaction is in the WAL file
// before COMMIT returns, so a crash of the process loses nothing committed (only a crash of
// the machine may lose the last transactions; the database stays consistent either way).
#include "block/store.h"

#include <sqlite3.h>

#include <array>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "common/angles.h"

namespace block {
namespace {

using Json = nlohmann::json;

// PRAGMA application_id of a block database: "ROBK".
constexpr int kApplicationId = 0x524F424B;
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema = R"sql(
CREATE TABLE settings (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    settings_json TEXT NOT NULL,
    program_version TEXT NOT NULL,
    created TEXT NOT NULL
);
CREATE TABLE cameras (
    id INTEGER PRIMARY KEY,
    file TEXT NOT NULL,
    text TEXT NOT NULL,
    UNIQUE (file, text)
);
CREATE TABLE photographs (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    key_file TEXT NOT NULL,
    key_bytes INTEGER NOT NULL,
    key_mtime_ns INTEGER NOT NULL,
    key_hash TEXT NOT NULL,
    camera_id INTEGER NOT NULL REFERENCES cameras (id)
);
CREATE TABLE pairs (
    photo1 INTEGER NOT NULL REFERENCES photographs (id),
    photo2 INTEGER NOT NULL REFERENCES photographs (id),
    outcome TEXT NOT NULL,
    oriented INTEGER NOT NULL,
    reason TEXT NOT NULL,
    matches INTEGER NOT NULL,
    inliers INTEGER NOT NULL,
    snooped INTEGER NOT NULL,
    by REAL, by_sigma REAL,
    bz REAL, bz_sigma REAL,
    omega_deg REAL, omega_sigma_deg REAL,
    phi_deg REAL, phi_sigma_deg REAL,
    kappa_deg REAL, kappa_sigma_deg REAL,
    base_x REAL, base_y REAL, base_z REAL,
    base_x_sigma REAL, base_y_sigma REAL, base_z_sigma REAL,
    covariance TEXT,
    sigma0_px REAL,
    chi2_ratio REAL,
    chi2_accepted INTEGER,
    warnings TEXT NOT NULL,
    seed INTEGER,
    seconds REAL NOT NULL,
    report_json TEXT NOT NULL,
    created TEXT NOT NULL,
    PRIMARY KEY (photo1, photo2)
);
CREATE INDEX pairs_by_photo2 ON pairs (photo2);
CREATE TABLE tie_points (
    photo1 INTEGER NOT NULL,
    photo2 INTEGER NOT NULL,
    count INTEGER NOT NULL,
    points BLOB NOT NULL,
    PRIMARY KEY (photo1, photo2)
);
)sql";

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinaliser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// The tie points of a pair as one blob of kTiePointBytes per point, little-endian: eight
// IEEE doubles (row1, col1, row2, col2, ratio, sampson_px, y_parallax_px, w; NaN where not
// defined), then the match number and the status (0 inlier, 1 ransac_outlier, 2 snooped) as
// 32-bit integers. A quarter of the time of a row per tie point (bench_block_store).
template <class T>
void PutLittleEndian(unsigned char* out, T value) {
    const auto bits =
        std::bit_cast<std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>>(value);
    for (std::size_t k = 0; k < sizeof(T); ++k)
        out[k] = static_cast<unsigned char>(bits >> (8 * k));
}

template <class T>
T GetLittleEndian(const unsigned char* in) {
    std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t> bits = 0;
    for (std::size_t k = 0; k < sizeof(T); ++k)
        bits |= static_cast<decltype(bits)>(in[k]) << (8 * k);
    return std::bit_cast<T>(bits);
}

static_assert(static_cast<int>(ro::PointStatus::inlier) == 0 &&
              static_cast<int>(ro::PointStatus::ransac_outlier) == 1 &&
              static_cast<int>(ro::PointStatus::snooped) == 2);

std::vector<unsigned char> PackTiePoints(const std::vector<ro::PointResult>& points) {
    std::vector<unsigned char> blob(points.size() * kTiePointBytes);
    unsigned char* out = blob.data();
    for (const ro::PointResult& p : points) {
        for (double v : {p.row1_px, p.col1_px, p.row2_px, p.col2_px, p.ratio, p.sampson_px,
                         p.y_parallax_px, p.w}) {
            PutLittleEndian(out, v);
            out += 8;
        }
        PutLittleEndian(out, static_cast<std::int32_t>(p.match));
        PutLittleEndian(out + 4, static_cast<std::int32_t>(p.status));
        out += 8;
    }
    return blob;
}

std::string HashText(std::uint64_t hash) {
    std::array<char, 17> text{};
    std::snprintf(text.data(), text.size(), "%016" PRIx64, hash);
    return text.data();
}

std::uint64_t HashFromText(const std::string& text) {
    return static_cast<std::uint64_t>(std::strtoull(text.c_str(), nullptr, 16));
}

// A JSON value as a message shows it: strings without their quotes.
std::string Shown(const Json* value) {
    if (value == nullptr) return "(none)";
    return value->is_string() ? value->get<std::string>() : value->dump();
}

// The first key (dotted path, keys in sorted order) where two settings documents differ.
bool FirstDifference(const Json& stored, const Json& wanted, const std::string& prefix,
                     std::string* key, const Json** old_value, const Json** new_value) {
    if (stored == wanted) return false;
    if (!stored.is_object() || !wanted.is_object()) {
        *key = prefix;
        *old_value = &stored;
        *new_value = &wanted;
        return true;
    }
    std::map<std::string, std::pair<const Json*, const Json*>> keys;
    for (auto it = stored.begin(); it != stored.end(); ++it) keys[it.key()].first = &it.value();
    for (auto it = wanted.begin(); it != wanted.end(); ++it) keys[it.key()].second = &it.value();
    for (const auto& [name, values] : keys) {
        std::string path = prefix;
        if (!path.empty()) path += '.';
        path += name;
        if (values.first == nullptr || values.second == nullptr) {
            *key = path;
            *old_value = values.first;
            *new_value = values.second;
            return true;
        }
        if (FirstDifference(*values.first, *values.second, path, key, old_value, new_value)) {
            return true;
        }
    }
    return false;
}

double Real(sqlite3_stmt* s, int i) {
    return sqlite3_column_type(s, i) == SQLITE_NULL ? std::numeric_limits<double>::quiet_NaN()
                                                    : sqlite3_column_double(s, i);
}

std::string Text(sqlite3_stmt* s, int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return text == nullptr
               ? std::string()
               : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
}

}  // namespace

struct BlockStore::Connection {
    std::string path;
    std::unique_ptr<sqlite3, DatabaseCloser> db;
    std::mutex mutex;
    std::map<const char*, std::unique_ptr<sqlite3_stmt, StatementFinaliser>> statements;

    // The error of the last call (code `code`) as a StoreError naming the file.
    [[noreturn]] void Fail(int code, const std::string& doing) const {
        const int primary = code & 0xFF;
        std::string reason;
        if (primary == SQLITE_FULL) {
            reason = "cannot write: database or disk is full";
        } else if (primary == SQLITE_IOERR) {
            reason = "cannot write: disk I/O error (" + doing + ")";
        } else if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
            reason = "locked by another process for more than " +
                     std::to_string(kBusyTimeoutMs / 1000) + " s";
        } else if (primary == SQLITE_NOTADB) {
            reason = "not a database";
        } else if (primary == SQLITE_READONLY) {
            reason = "cannot write: the database is read-only";
        } else if (primary == SQLITE_CORRUPT) {
            reason = "the database is damaged (" + std::string(sqlite3_errstr(code)) + ")";
        } else {
            reason = doing + ": " + (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(code));
        }
        throw StoreError(path + ": " + reason);
    }

    [[noreturn]] void Refuse(const std::string& reason) const {
        throw StoreError(path + ": " + reason);
    }

    void Exec(const char* sql, const char* doing) {
        const int rc = sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Fail(rc, doing);
    }

    // The statement for `sql` (a literal: cached by its address), reset and unbound.
    sqlite3_stmt* Prepare(const char* sql) {
        auto& slot = statements[sql];
        if (!slot) {
            sqlite3_stmt* statement = nullptr;
            const int rc = sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT,
                                              &statement, nullptr);
            if (rc != SQLITE_OK) Fail(rc, "cannot prepare a statement");
            slot.reset(statement);
        }
        sqlite3_reset(slot.get());
        sqlite3_clear_bindings(slot.get());
        return slot.get();
    }

    // Steps a statement; true while it gives rows.
    bool Step(sqlite3_stmt* statement, const char* doing) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        Fail(rc, doing);
    }

    void Run(sqlite3_stmt* statement, const char* doing) {
        while (Step(statement, doing)) {
        }
    }

    int PragmaInt(const char* sql) {
        sqlite3_stmt* statement = Prepare(sql);
        const int value =
            Step(statement, "cannot read the header") ? sqlite3_column_int(statement, 0) : 0;
        sqlite3_reset(statement);
        return value;
    }

    void Bind(sqlite3_stmt* s, int i, double value) {
        if (std::isfinite(value)) {
            sqlite3_bind_double(s, i, value);
        } else {
            sqlite3_bind_null(s, i);
        }
    }
    void Bind(sqlite3_stmt* s, int i, const std::string& text) {
        sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    void BindInt(sqlite3_stmt* s, int i, std::int64_t value) { sqlite3_bind_int64(s, i, value); }

    void CheckOrCreateSchema(bool may_create);

    // BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
    class Transaction {
      public:
        explicit Transaction(Connection& c) : c_(c) {
            c_.Exec("BEGIN IMMEDIATE", "cannot start a transaction");
        }
        ~Transaction() {
            if (!committed_) sqlite3_exec(c_.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit() {
            c_.Exec("COMMIT", "cannot commit");
            committed_ = true;
        }

      private:
        Connection& c_;
        bool committed_ = false;
    };
};

void BlockStore::Connection::CheckOrCreateSchema(bool may_create) {
    const int application_id = PragmaInt("PRAGMA application_id");
    const int version = PragmaInt("PRAGMA user_version");
    const int objects = PragmaInt("SELECT count(*) FROM sqlite_schema");
    if (application_id == kApplicationId) {
        if (version > kSchemaVersion) {
            Refuse("written by a newer version of this program (schema version " +
                   std::to_string(version) + ", this program reads " +
                   std::to_string(kSchemaVersion) + ")");
        }
        if (version != kSchemaVersion) {
            Refuse("schema version " + std::to_string(version) +
                   " cannot be read (this program reads " + std::to_string(kSchemaVersion) + ")");
        }
        return;
    }
    if (application_id != 0 || version != 0 || objects != 0) {
        Refuse("not a block database (application id " + std::to_string(application_id) +
               ", user_version " + std::to_string(version) + ", this program writes " +
               std::to_string(kSchemaVersion) + ")");
    }
    if (!may_create) Refuse("an empty database, not a block database");
    // A new database. WAL is set outside a transaction; the schema is created in one, and
    // checked again inside it in case another process created it meanwhile.
    Exec("PRAGMA journal_mode=WAL", "cannot switch to WAL");
    Connection::Transaction transaction(*this);
    if (PragmaInt("PRAGMA application_id") == kApplicationId) return;
    Exec(kSchema, "cannot create the schema");
    Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str(),
         "cannot create the schema");
    Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(),
         "cannot create the schema");
    transaction.Commit();
}

BlockStore::BlockStore(const std::string& path, Access access)
    : connection_(std::make_unique<Connection>()) {
    Connection& c = *connection_;
    c.path = path;
    namespace fs = std::filesystem;
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (!exists) {
        if (access == Access::read_only) c.Refuse("cannot open: no such file");
        const fs::path folder = fs::path(path).parent_path();
        if (!folder.empty() && !fs::is_directory(folder, error)) {
            c.Refuse("cannot create: the folder " + folder.string() + " does not exist");
        }
    } else if (fs::is_directory(path, error)) {
        c.Refuse("cannot open: a folder, not a database file");
    } else if (access == Access::read_write && (fs::status(path, error).permissions() &
                                                (fs::perms::owner_write | fs::perms::group_write |
                                                 fs::perms::others_write)) == fs::perms::none) {
        // Refused even where the user could write it anyway (root): read-only is meant.
        c.Refuse("cannot write: the file is read-only");
    }
    const int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE |
                      (access == Access::read_only ? SQLITE_OPEN_READONLY
                                                   : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    c.db.reset(db);
    if (rc != SQLITE_OK) {
        c.Refuse(std::string(exists ? "cannot open: " : "cannot create: ") +
                 (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
    }
    if (access == Access::read_write && sqlite3_db_readonly(db, "main") == 1) {
        c.Refuse(exists ? "cannot write: the file is read-only"
                        : "cannot create: the folder is read-only");
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    c.CheckOrCreateSchema(access == Access::read_write);
    if (access == Access::read_write) {
        c.Exec("PRAGMA journal_mode=WAL", "cannot switch to WAL");
        c.Exec("PRAGMA synchronous=NORMAL", "cannot set synchronous");
    }
    c.Exec("PRAGMA foreign_keys=ON", "cannot enable foreign keys");
}

BlockStore::~BlockStore() = default;

std::optional<std::string> BlockStore::UseSettings(const std::string& settings_json) {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    const Json wanted = Json::parse(settings_json, nullptr, false);
    if (wanted.is_discarded()) c.Refuse("the settings are not valid JSON");
    Connection::Transaction transaction(c);
    sqlite3_stmt* select = c.Prepare("SELECT settings_json FROM settings WHERE id = 1");
    if (c.Step(select, "cannot read the settings")) {
        const Json stored = Json::parse(Text(select, 0), nullptr, false);
        sqlite3_reset(select);
        std::string key;
        const Json* old_value = nullptr;
        const Json* new_value = nullptr;
        if (stored.is_discarded()) return c.path + ": its settings cannot be read";
        if (!FirstDifference(stored, wanted, "", &key, &old_value, &new_value)) return std::nullopt;
        return c.path + ": the pairs in it were oriented with " + key + " " + Shown(old_value) +
               ", this run asks for " + Shown(new_value) +
               ": use another database or the same settings";
    }
    sqlite3_stmt* insert = c.Prepare(
        "INSERT INTO settings (id, settings_json, program_version, created) "
        "VALUES (1, ?1, ?2, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))");
    const std::string canonical = wanted.dump();
    c.Bind(insert, 1, canonical);
    sqlite3_bind_text(insert, 2, BLOCK_PROGRAM_VERSION, -1, SQLITE_STATIC);
    c.Run(insert, "cannot write the settings");
    transaction.Commit();
    return std::nullopt;
}

Registration BlockStore::Register(const std::vector<Photograph>& photographs) {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    Registration registration;
    Connection::Transaction transaction(c);
    for (const Photograph& p : photographs) {
        sqlite3_stmt* add_camera =
            c.Prepare("INSERT INTO cameras (file, text) VALUES (?1, ?2) ON CONFLICT DO NOTHING");
        c.Bind(add_camera, 1, p.camera_file);
        c.Bind(add_camera, 2, p.camera_text);
        c.Run(add_camera, "cannot write a camera");
        sqlite3_stmt* camera_id = c.Prepare("SELECT id FROM cameras WHERE file = ?1 AND text = ?2");
        c.Bind(camera_id, 1, p.camera_file);
        c.Bind(camera_id, 2, p.camera_text);
        c.Step(camera_id, "cannot read a camera");
        const std::int64_t camera = sqlite3_column_int64(camera_id, 0);
        sqlite3_reset(camera_id);

        sqlite3_stmt* find = c.Prepare(
            "SELECT p.id, p.key_hash, c.text, p.key_file, p.key_bytes, p.key_mtime_ns, p.camera_id "
            "FROM photographs p JOIN cameras c ON c.id = p.camera_id WHERE p.name = ?1");
        c.Bind(find, 1, p.name);
        const std::string hash = HashText(p.key_hash);
        // The photograph's columns, ?1 to ?6, as both the insertion and the update take them.
        const auto bind_photograph = [&](sqlite3_stmt* statement) {
            c.Bind(statement, 1, p.name);
            c.Bind(statement, 2, p.key_file);
            c.BindInt(statement, 3, p.key_bytes);
            c.BindInt(statement, 4, p.key_mtime_ns);
            c.Bind(statement, 5, hash);
            c.BindInt(statement, 6, camera);
        };
        if (!c.Step(find, "cannot read the photographs")) {
            sqlite3_stmt* insert = c.Prepare(
                "INSERT INTO photographs (name, key_file, key_bytes, key_mtime_ns, key_hash, "
                "camera_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
            bind_photograph(insert);
            c.Run(insert, "cannot write a photograph");
            registration.ids.push_back(static_cast<int>(sqlite3_last_insert_rowid(c.db.get())));
            continue;
        }
        const int id = sqlite3_column_int(find, 0);
        const bool changed = Text(find, 1) != hash || Text(find, 2) != p.camera_text;
        const bool moved = Text(find, 3) != p.key_file ||
                           sqlite3_column_int64(find, 4) != p.key_bytes ||
                           sqlite3_column_int64(find, 5) != p.key_mtime_ns ||
                           sqlite3_column_int64(find, 6) != camera;
        sqlite3_reset(find);
        registration.ids.push_back(id);
        if (changed) {
            sqlite3_stmt* ties = c.Prepare(
                "DELETE FROM tie_points WHERE (photo1, photo2) IN "
                "(SELECT photo1, photo2 FROM pairs WHERE photo1 = ?1 OR photo2 = ?1)");
            c.BindInt(ties, 1, id);
            c.Run(ties, "cannot delete tie points");
            sqlite3_stmt* pairs = c.Prepare("DELETE FROM pairs WHERE photo1 = ?1 OR photo2 = ?1");
            c.BindInt(pairs, 1, id);
            c.Run(pairs, "cannot delete pairs");
            registration.changed.push_back(p.name);
        }
        if (changed || moved) {
            sqlite3_stmt* update = c.Prepare(
                "UPDATE photographs SET key_file = ?2, key_bytes = ?3, key_mtime_ns = ?4, "
                "key_hash = ?5, camera_id = ?6 WHERE name = ?1");
            bind_photograph(update);
            c.Run(update, "cannot update a photograph");
        }
    }
    transaction.Commit();
    return registration;
}

namespace {

constexpr const char* kSelectPhotograph =
    "SELECT p.id, p.name, p.key_file, p.key_bytes, p.key_mtime_ns, p.key_hash, c.file, c.text "
    "FROM photographs p JOIN cameras c ON c.id = p.camera_id ";

Photograph ReadPhotograph(sqlite3_stmt* s) {
    Photograph p;
    p.id = sqlite3_column_int(s, 0);
    p.name = Text(s, 1);
    p.key_file = Text(s, 2);
    p.key_bytes = sqlite3_column_int64(s, 3);
    p.key_mtime_ns = sqlite3_column_int64(s, 4);
    p.key_hash = HashFromText(Text(s, 5));
    p.camera_file = Text(s, 6);
    p.camera_text = Text(s, 7);
    return p;
}

}  // namespace

std::optional<Photograph> BlockStore::Find(const std::string& name) const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    static const std::string sql = std::string(kSelectPhotograph) + "WHERE p.name = ?1";
    sqlite3_stmt* find = c.Prepare(sql.c_str());
    c.Bind(find, 1, name);
    std::optional<Photograph> found;
    if (c.Step(find, "cannot read the photographs")) found = ReadPhotograph(find);
    sqlite3_reset(find);
    return found;
}

std::vector<Photograph> BlockStore::Photographs() const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    static const std::string sql = std::string(kSelectPhotograph) + "ORDER BY p.id";
    sqlite3_stmt* all = c.Prepare(sql.c_str());
    std::vector<Photograph> photographs;
    while (c.Step(all, "cannot read the photographs")) photographs.push_back(ReadPhotograph(all));
    return photographs;
}

std::vector<std::pair<int, int>> BlockStore::DonePairs() const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    sqlite3_stmt* done = c.Prepare("SELECT photo1, photo2 FROM pairs ORDER BY photo1, photo2");
    std::vector<std::pair<int, int>> pairs;
    while (c.Step(done, "cannot read the pairs")) {
        pairs.emplace_back(sqlite3_column_int(done, 0), sqlite3_column_int(done, 1));
    }
    return pairs;
}

PairRow MakePairRow(const PairOutcome& pair) {
    if (pair.result == nullptr) throw StoreError("a pair without a result");
    const ro::OrientationResult& r = *pair.result;
    PairRow row;
    row.photo1 = pair.photo1;
    row.photo2 = pair.photo2;
    row.outcome = ro::OutcomeCode(r.outcome);
    row.oriented = r.outcome == ro::Outcome::oriented;
    row.reason = r.reason;
    row.matches = r.matches;
    for (const ro::PointResult& p : r.points) {
        row.inliers += p.status == ro::PointStatus::inlier ? 1 : 0;
        row.snooped += p.status == ro::PointStatus::snooped ? 1 : 0;
    }
    row.adjusted = ro::HasAdjustedOrientation(r.outcome);
    constexpr double kDeg = common::kDegreesPerRadian;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto value = [&](double v) { return row.adjusted ? v : nan; };
    const std::array<double, 5> elements = r.elements.AsArray();
    for (int k = 0; k < 5; ++k) {
        const double scale = k < 2 ? 1.0 : kDeg;
        const auto at = static_cast<std::size_t>(k);
        row.values[2 * at] = value(elements[at] * scale);
        row.values[2 * at + 1] = value(r.precision.sigma[k] * scale);
    }
    for (int k = 0; k < 3; ++k) {
        row.values[10 + k] = value(r.orientation.base[k]);
        row.values[13 + k] = value(r.precision.base_sigma[k]);
    }
    if (row.adjusted) {
        const ro::Matrix5d cov = ro::CovarianceInDegrees(r.precision.covariance);
        Json rows = Json::array();
        for (int i = 0; i < 5; ++i) {
            Json line = Json::array();
            for (int j = 0; j < 5; ++j) {
                line.push_back(std::isfinite(cov(i, j)) ? Json(cov(i, j)) : Json(nullptr));
            }
            rows.push_back(std::move(line));
        }
        row.covariance_json = rows.dump();
        row.sigma0_px = r.adjustment.sigma0_px;
        row.chi2_ratio = r.adjustment.chi2.ratio;
        row.chi2_accepted = r.adjustment.chi2.accepted;
    }
    for (const ro::Warning& w : r.warnings) row.warnings.push_back(w.code);
    row.seconds = pair.seconds;
    row.report_json = pair.report_json;
    row.tie_points = PackTiePoints(r.points);
    return row;
}

void BlockStore::WritePair(const PairOutcome& pair) {
    if (pair.result == nullptr) throw StoreError(connection_->path + ": a pair without a result");
    WriteRow(MakePairRow(pair));
}

void BlockStore::WriteRow(const PairRow& row) {
    if (row.tie_points.size() % kTiePointBytes != 0) {
        throw StoreError(connection_->path + ": the tie points of a pair are damaged");
    }
    // Everything derived from the row before the lock: only SQLite's work is serialised.
    Json warnings = Json::array();
    for (const std::string& code : row.warnings) warnings.push_back(code);
    const std::string warnings_text = warnings.dump();

    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    Connection::Transaction transaction(c);
    sqlite3_stmt* s = c.Prepare(
        "INSERT OR REPLACE INTO pairs (photo1, photo2, outcome, oriented, reason, matches, "
        "inliers, snooped, by, by_sigma, bz, bz_sigma, omega_deg, omega_sigma_deg, phi_deg, "
        "phi_sigma_deg, kappa_deg, kappa_sigma_deg, base_x, base_y, base_z, base_x_sigma, "
        "base_y_sigma, base_z_sigma, covariance, sigma0_px, chi2_ratio, chi2_accepted, "
        "warnings, seed, seconds, report_json, created) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, "
        "?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, "
        "?25, ?26, ?27, ?28, ?29, "
        // The seed from the report, read by SQLite's own JSON functions.
        "CASE WHEN json_valid(?32) THEN json_extract(?32, '$.program.seed') END, "
        "?31, ?32, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))");
    c.BindInt(s, 1, row.photo1);
    c.BindInt(s, 2, row.photo2);
    c.Bind(s, 3, row.outcome);
    c.BindInt(s, 4, row.oriented ? 1 : 0);
    c.Bind(s, 5, row.reason);
    c.BindInt(s, 6, row.matches);
    c.BindInt(s, 7, row.inliers);
    c.BindInt(s, 8, row.snooped);
    for (std::size_t k = 0; k < row.values.size(); ++k) {
        c.Bind(s, 9 + static_cast<int>(k), row.values[k]);
    }
    if (row.adjusted) {
        c.Bind(s, 25, row.covariance_json);
        c.Bind(s, 26, row.sigma0_px);
        c.Bind(s, 27, row.chi2_ratio);
        c.BindInt(s, 28, row.chi2_accepted ? 1 : 0);
    }
    c.Bind(s, 29, warnings_text);
    c.Bind(s, 31, row.seconds);
    c.Bind(s, 32, row.report_json);
    c.Run(s, "cannot write the pair");

    sqlite3_stmt* ties = c.Prepare(
        "INSERT OR REPLACE INTO tie_points (photo1, photo2, count, points) VALUES (?1, ?2, ?3, "
        "?4)");
    c.BindInt(ties, 1, row.photo1);
    c.BindInt(ties, 2, row.photo2);
    c.BindInt(ties, 3, static_cast<std::int64_t>(row.tie_points.size() / kTiePointBytes));
    // A pair without tie points has an empty blob, not NULL: an empty vector's data() may be
    // null, which SQLite would bind as NULL.
    if (row.tie_points.empty()) {
        sqlite3_bind_zeroblob(ties, 4, 0);
    } else {
        sqlite3_bind_blob64(ties, 4, row.tie_points.data(), row.tie_points.size(), SQLITE_STATIC);
    }
    c.Run(ties, "cannot write the tie points");
    transaction.Commit();
}

std::vector<StoredTiePoint> BlockStore::TiePoints(int photo1, int photo2) const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    sqlite3_stmt* s = c.Prepare("SELECT points FROM tie_points WHERE photo1 = ?1 AND photo2 = ?2");
    c.BindInt(s, 1, photo1);
    c.BindInt(s, 2, photo2);
    std::vector<StoredTiePoint> points;
    if (!c.Step(s, "cannot read the tie points")) return points;
    const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(s, 0));
    const auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(s, 0));
    if (bytes % kTiePointBytes != 0) {
        sqlite3_reset(s);
        c.Refuse("the tie points of pair " + std::to_string(photo1) + "-" + std::to_string(photo2) +
                 " are damaged");
    }
    for (std::size_t at = 0; at < bytes; at += kTiePointBytes) {
        const unsigned char* in = blob + at;
        StoredTiePoint p;
        double* fields[] = {&p.row1_px, &p.col1_px,    &p.row2_px,       &p.col2_px,
                            &p.ratio,   &p.sampson_px, &p.y_parallax_px, &p.w};
        for (double* field : fields) {
            *field = GetLittleEndian<double>(in);
            in += 8;
        }
        p.match = GetLittleEndian<std::int32_t>(in);
        const auto status = GetLittleEndian<std::int32_t>(in + 4);
        p.status = status == 0   ? ro::PointStatus::inlier
                   : status == 2 ? ro::PointStatus::snooped
                                 : ro::PointStatus::ransac_outlier;
        points.push_back(p);
    }
    sqlite3_reset(s);
    return points;
}

std::vector<StoredPair> BlockStore::Pairs(bool with_reports) const {
    Connection& c = *connection_;
    std::lock_guard lock(c.mutex);
    sqlite3_stmt* s = c.Prepare(
        "SELECT p.photo1, p.photo2, a.name, b.name, p.outcome, p.matches, p.inliers, p.snooped, "
        "p.sigma0_px, p.warnings, p.seconds, CASE WHEN ?1 THEN p.report_json ELSE '' END "
        "FROM pairs p "
        "JOIN photographs a ON a.id = p.photo1 JOIN photographs b ON b.id = p.photo2 "
        "ORDER BY p.photo1, p.photo2");
    c.BindInt(s, 1, with_reports ? 1 : 0);
    std::vector<StoredPair> pairs;
    while (c.Step(s, "cannot read the pairs")) {
        StoredPair p;
        p.photo1 = sqlite3_column_int(s, 0);
        p.photo2 = sqlite3_column_int(s, 1);
        p.name1 = Text(s, 2);
        p.name2 = Text(s, 3);
        p.outcome = Text(s, 4);
        p.matches = sqlite3_column_int(s, 5);
        p.inliers = sqlite3_column_int(s, 6);
        p.snooped = sqlite3_column_int(s, 7);
        p.sigma0_px = Real(s, 8);
        const Json warnings = Json::parse(Text(s, 9), nullptr, false);
        if (warnings.is_array()) {
            for (const Json& w : warnings) {
                if (w.is_string()) p.warnings.push_back(w.get<std::string>());
            }
        }
        p.seconds = Real(s, 10);
        p.report_json = Text(s, 11);
        pairs.push_back(std::move(p));
    }
    return pairs;
}

}  // namespace block
