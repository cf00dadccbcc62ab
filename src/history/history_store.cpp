#include "history/history_store.h"

#include <sqlite3.h>

#include <exception>
#include <filesystem>
#include <utility>

#include "history/history_columns.h"
#include "history/history_path.h"
#include "history/history_schema.h"
#include "history/sqlite_statement.h"

namespace kivota {

namespace {

// Thrown inside this file only: every public call turns it into an error text.
struct StoreFailure {
    std::string what;
};

void vExec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return;
    StoreFailure failure{message != nullptr ? message : sqlite3_errmsg(db)};
    sqlite3_free(message);
    throw failure;
}

void vCheck(sqlite3* db, bool ok) {
    if (!ok) throw StoreFailure{sqlite3_errmsg(db)};
}

void vStepDone(sqlite3* db, SqliteStatement& statement) { vCheck(db, statement.step() == SQLITE_DONE); }

std::string szColumnList() {
    std::string list;
    for (const HistoryColumn& c : historyColumns()) list += (list.empty() ? "" : ", ") + c.name;
    return list;
}

std::optional<HistoryPhase> optPhase(const HistoryValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    if (text == nullptr) return std::nullopt;
    if (*text == "download") return HistoryPhase::Download;
    if (*text == "upload") return HistoryPhase::Upload;
    return std::nullopt;
}

std::optional<LatencyStage> optStage(const HistoryValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    if (text == nullptr) return std::nullopt;
    for (const LatencyStage s : {LatencyStage::Idle, LatencyStage::Download, LatencyStage::Upload}) {
        if (*text == szStageName(s)) return s;
    }
    return std::nullopt;
}

std::optional<double> optReal(const HistoryValue& value) {
    if (const auto* real = std::get_if<double>(&value)) return *real;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return static_cast<double>(*integer);
    return std::nullopt;
}

std::int64_t iInteger(const HistoryValue& value) {
    const auto* integer = std::get_if<std::int64_t>(&value);
    return integer != nullptr ? *integer : 0;
}

HistoryRun runFromRow(const SqliteStatement& row) {
    HistoryRun run;
    run.id = iInteger(row.value(0));
    const auto& columns = historyColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) columns[i].set(run, row.value(static_cast<int>(i) + 1));
    return run;
}

void vReadDetails(sqlite3* db, HistoryRun& run) {
    SqliteStatement seconds(
        db,
        "SELECT phase, idx, ftp_kbps, adapter_kbps, other_adapter_kbps FROM seconds WHERE run_id = ?"
        " ORDER BY CASE phase WHEN 'download' THEN 0 ELSE 1 END, idx");
    vCheck(db, seconds.ok() && seconds.bind(1, run.id));
    int rc = SQLITE_ROW;
    while ((rc = seconds.step()) == SQLITE_ROW) {
        const auto phase = optPhase(seconds.value(0));
        if (!phase) continue;  // a phase this program does not know
        run.seconds.push_back({*phase, static_cast<int>(iInteger(seconds.value(1))), optReal(seconds.value(2)),
                               optReal(seconds.value(3)), optReal(seconds.value(4))});
    }
    vCheck(db, rc == SQLITE_DONE);

    SqliteStatement samples(db, "SELECT at_s, stage, lost, rtt_ms FROM latency_samples WHERE run_id = ? ORDER BY seq");
    vCheck(db, samples.ok() && samples.bind(1, run.id));
    while ((rc = samples.step()) == SQLITE_ROW) {
        const auto stage = optStage(samples.value(1));
        if (!stage) continue;
        LatencySample s;
        s.atSec = optReal(samples.value(0)).value_or(0);
        s.stage = *stage;
        s.lost = iInteger(samples.value(2)) != 0;
        s.rttMs = s.lost ? 0 : optReal(samples.value(3)).value_or(0);
        run.latency.samples.push_back(s);
    }
    vCheck(db, rc == SQLITE_DONE);
}

void vCheckSchemaKnown(sqlite3* db) {
    SqliteStatement version(db, "PRAGMA user_version");
    vCheck(db, version.ok() && version.step() == SQLITE_ROW);
    const std::int64_t schema = iInteger(version.value(0));
    const auto known = static_cast<std::int64_t>(historyMigrations().size());
    if (schema > known) {
        throw StoreFailure{"its schema " + std::to_string(schema) + " is newer than this program's (" +
                           std::to_string(known) + "); the file is kept as it is"};
    }
}

HistoryValue optionalValue(const std::optional<double>& v) { return v ? HistoryValue(*v) : HistoryValue(); }

}  // namespace

HistoryStore::HistoryStore(std::string path, HistoryOptions options) : path_(std::move(path)), options_(options) {
    vOpen();
}

HistoryStore::~HistoryStore() { sqlite3_close_v2(db_); }

std::string HistoryStore::szError(const std::string& what) const {
    std::string text = "history " + path_ + ": " + what;
    if (what.find(sqlite3_errstr(SQLITE_NOTADB)) != std::string::npos ||
        what.find(sqlite3_errstr(SQLITE_CORRUPT)) != std::string::npos) {
        text += "; the file is kept as it is (move it away to start a new history)";
    } else if (what.find(sqlite3_errstr(SQLITE_BUSY)) != std::string::npos) {
        text += " (another program held it longer than " + std::to_string(options_.busyTimeoutMs) + " ms)";
    }
    return text;
}

void HistoryStore::vOpen() noexcept {
    sqlite3* db = nullptr;
    try {
        const std::string folder = std::filesystem::path(path_).parent_path().string();
        if (options_.create && !folder.empty()) {
            if (std::string e = szEnsureHistoryFolder(folder); !e.empty()) throw StoreFailure{e};
        }
        const int flags = SQLITE_OPEN_READWRITE | (options_.create ? SQLITE_OPEN_CREATE : 0);
        if (sqlite3_open_v2(path_.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            throw StoreFailure{db != nullptr ? sqlite3_errmsg(db) : "out of memory"};
        }
        sqlite3_busy_timeout(db, options_.busyTimeoutMs);
        // The first statement only reads the file's header: a file that is not a database, or
        // one of a newer schema, stops here before anything is written to it.
        vCheckSchemaKnown(db);
        vExec(db, "PRAGMA journal_mode = WAL");
        vExec(db, "PRAGMA foreign_keys = ON");
        if (std::string e = szMigrateHistory(db, historyMigrations()); !e.empty()) throw StoreFailure{e};
        sqlite3_close_v2(db_);
        db_ = db;
        openError_.clear();
    } catch (const StoreFailure& failure) {
        sqlite3_close_v2(db);
        openError_ = szError(failure.what);
    } catch (const std::exception& e) {
        sqlite3_close_v2(db);
        openError_ = szError(e.what());
    }
}

HistoryWrite HistoryStore::record(const HistoryRun& run) noexcept {
    if (db_ == nullptr) vOpen();
    if (db_ == nullptr) return {0, openError_};
    bool inTransaction = false;
    try {
        vExec(db_, "BEGIN IMMEDIATE");
        inTransaction = true;
        const auto& columns = historyColumns();
        std::string places;
        for (std::size_t i = 0; i < columns.size(); ++i) places += i == 0 ? "?" : ", ?";
        SqliteStatement insertRun(db_, "INSERT INTO runs (" + szColumnList() + ") VALUES (" + places + ")");
        vCheck(db_, insertRun.ok());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            vCheck(db_, insertRun.bind(static_cast<int>(i) + 1, columns[i].get(run)));
        }
        vStepDone(db_, insertRun);
        const std::int64_t id = sqlite3_last_insert_rowid(db_);

        SqliteStatement insertSecond(db_,
                                     "INSERT INTO seconds (run_id, phase, idx, ftp_kbps, adapter_kbps, "
                                     "other_adapter_kbps) VALUES (?, ?, ?, ?, ?, ?)");
        vCheck(db_, insertSecond.ok());
        for (const HistorySecond& s : run.seconds) {
            insertSecond.reset();
            vCheck(db_, insertSecond.bind(1, id) && insertSecond.bind(2, std::string(szPhaseName(s.phase))) &&
                            insertSecond.bind(3, static_cast<std::int64_t>(s.index)) &&
                            insertSecond.bind(4, optionalValue(s.ftpKbps)) &&
                            insertSecond.bind(5, optionalValue(s.adapterKbps)) &&
                            insertSecond.bind(6, optionalValue(s.otherAdapterKbps)));
            vStepDone(db_, insertSecond);
        }

        SqliteStatement insertSample(
            db_, "INSERT INTO latency_samples (run_id, seq, at_s, stage, lost, rtt_ms) VALUES (?, ?, ?, ?, ?, ?)");
        vCheck(db_, insertSample.ok());
        std::int64_t seq = 0;
        for (const LatencySample& s : run.latency.samples) {
            insertSample.reset();
            vCheck(db_, insertSample.bind(1, id) && insertSample.bind(2, seq++) && insertSample.bind(3, s.atSec) &&
                            insertSample.bind(4, std::string(szStageName(s.stage))) &&
                            insertSample.bind(5, static_cast<std::int64_t>(s.lost ? 1 : 0)) &&
                            insertSample.bind(6, s.lost ? HistoryValue() : HistoryValue(s.rttMs)));
            vStepDone(db_, insertSample);
        }
        vExec(db_, "COMMIT");
        return {id, {}};
    } catch (const StoreFailure& failure) {
        if (inTransaction) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return {0, szError(failure.what)};
    } catch (const std::exception& e) {
        if (inTransaction) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return {0, szError(e.what())};
    }
}

std::optional<std::vector<HistoryRun>> HistoryStore::optRuns(const HistoryQuery& query,
                                                             std::string& error) const noexcept {
    if (db_ == nullptr) {
        error = openError_;
        return std::nullopt;
    }
    try {
        SqliteStatement select(db_, "SELECT id, " + szColumnList() +
                                        " FROM runs WHERE ?1 = '' OR time_utc >= ?1"
                                        " ORDER BY time_utc DESC, id DESC LIMIT ?2");
        vCheck(db_, select.ok() && select.bind(1, query.sinceUtc) &&
                        select.bind(2, static_cast<std::int64_t>(query.limit > 0 ? query.limit : -1)));
        std::vector<HistoryRun> runs;
        int rc = SQLITE_ROW;
        while ((rc = select.step()) == SQLITE_ROW) runs.push_back(runFromRow(select));
        vCheck(db_, rc == SQLITE_DONE);
        return runs;
    } catch (const StoreFailure& failure) {
        error = szError(failure.what);
    } catch (const std::exception& e) {
        error = szError(e.what());
    }
    return std::nullopt;
}

std::optional<HistoryRun> HistoryStore::optRun(std::int64_t id, std::string& error) const noexcept {
    error.clear();
    if (db_ == nullptr) {
        error = openError_;
        return std::nullopt;
    }
    try {
        SqliteStatement select(db_, "SELECT id, " + szColumnList() + " FROM runs WHERE id = ?");
        vCheck(db_, select.ok() && select.bind(1, id));
        const int rc = select.step();
        if (rc == SQLITE_DONE) return std::nullopt;
        vCheck(db_, rc == SQLITE_ROW);
        HistoryRun run = runFromRow(select);
        vReadDetails(db_, run);
        return run;
    } catch (const StoreFailure& failure) {
        error = szError(failure.what);
    } catch (const std::exception& e) {
        error = szError(e.what());
    }
    return std::nullopt;
}

HistoryWrite recordRun(const HistoryRun& run, const std::string& path) {
    HistoryStore store(path);
    return store.record(run);
}

}  // namespace kivota
