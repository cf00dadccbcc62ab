#include "history/history_schema.h"

namespace kivota {

namespace {

// Schema 1: one row per run; the per-second series and the latency samples in tables of their
// own, removed with their run.
constexpr const char* kSchema1 = R"sql(
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  time_utc TEXT NOT NULL,
  utc_offset_minutes INTEGER NOT NULL,
  program TEXT NOT NULL,
  mode TEXT NOT NULL,
  outcome TEXT NOT NULL,
  error_code INTEGER NOT NULL,
  error_text TEXT NOT NULL,
  download_kbps REAL,
  upload_kbps REAL,
  adapter_download_kbps REAL,
  adapter_upload_kbps REAL,
  adapter_upload_during_download_kbps REAL,
  adapter_download_during_upload_kbps REAL,
  rtt_min_ms REAL,
  rtt_avg_ms REAL,
  rtt_max_ms REAL,
  idle_sent INTEGER NOT NULL, idle_lost INTEGER NOT NULL, idle_loss_percent REAL,
  idle_min_ms REAL, idle_median_ms REAL, idle_mean_ms REAL,
  idle_p90_ms REAL, idle_p95_ms REAL, idle_p99_ms REAL,
  idle_jitter_ms REAL, idle_jitter_rfc3550_ms REAL, idle_kernel_rtt_median_ms REAL,
  download_sent INTEGER NOT NULL, download_lost INTEGER NOT NULL, download_loss_percent REAL,
  download_min_ms REAL, download_median_ms REAL, download_mean_ms REAL,
  download_p90_ms REAL, download_p95_ms REAL, download_p99_ms REAL,
  download_jitter_ms REAL, download_jitter_rfc3550_ms REAL, download_kernel_rtt_median_ms REAL,
  upload_sent INTEGER NOT NULL, upload_lost INTEGER NOT NULL, upload_loss_percent REAL,
  upload_min_ms REAL, upload_median_ms REAL, upload_mean_ms REAL,
  upload_p90_ms REAL, upload_p95_ms REAL, upload_p99_ms REAL,
  upload_jitter_ms REAL, upload_jitter_rfc3550_ms REAL, upload_kernel_rtt_median_ms REAL,
  download_rise_ms REAL,
  upload_rise_ms REAL,
  download_responsiveness_rpm REAL, download_responsiveness_confidence TEXT NOT NULL,
  download_responsiveness_foreign_probes INTEGER NOT NULL, download_responsiveness_self_probes INTEGER NOT NULL,
  download_responsiveness_tcp_connect_ms REAL, download_responsiveness_first_reply_ms REAL,
  download_responsiveness_self_rtt_ms REAL,
  upload_responsiveness_rpm REAL, upload_responsiveness_confidence TEXT NOT NULL,
  upload_responsiveness_foreign_probes INTEGER NOT NULL, upload_responsiveness_self_probes INTEGER NOT NULL,
  upload_responsiveness_tcp_connect_ms REAL, upload_responsiveness_first_reply_ms REAL,
  upload_responsiveness_self_rtt_ms REAL,
  download_start_s REAL,
  upload_start_s REAL,
  download_connections INTEGER,
  upload_connections INTEGER,
  result_url TEXT NOT NULL,
  serial TEXT NOT NULL,
  server_time TEXT NOT NULL
);
CREATE INDEX runs_by_time ON runs (time_utc);
CREATE TABLE seconds (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  phase TEXT NOT NULL,
  idx INTEGER NOT NULL,
  ftp_kbps REAL,
  adapter_kbps REAL,
  other_adapter_kbps REAL,
  PRIMARY KEY (run_id, phase, idx)
) WITHOUT ROWID;
CREATE TABLE latency_samples (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  at_s REAL NOT NULL,
  stage TEXT NOT NULL,
  lost INTEGER NOT NULL,
  rtt_ms REAL,
  PRIMARY KEY (run_id, seq)
) WITHOUT ROWID;
)sql";

std::string szExec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
    std::string error = message != nullptr ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return error.empty() ? "unknown SQLite error" : error;
}

}  // namespace

const std::vector<std::string>& historyMigrations() {
    static const std::vector<std::string> migrations = {kSchema1};
    return migrations;
}

std::string szMigrateHistory(sqlite3* db, const std::vector<std::string>& migrations) {
    // IMMEDIATE takes the write lock before user_version is read: a second program opening the
    // same new file waits here and then finds the schema already in place.
    if (std::string e = szExec(db, "BEGIN IMMEDIATE"); !e.empty()) return e;
    sqlite3_stmt* statement = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        version = sqlite3_column_int(statement, 0);
    }
    std::string error = version < 0 ? std::string(sqlite3_errmsg(db)) : std::string();
    sqlite3_finalize(statement);
    const auto known = static_cast<int>(migrations.size());
    if (error.empty() && version > known) {
        error = "its schema " + std::to_string(version) + " is newer than this program's (" + std::to_string(known) +
                "); the file is kept as it is";
    }
    for (int step = version; error.empty() && step < known; ++step) {
        error = szExec(db, migrations[static_cast<std::size_t>(step)]);
        if (!error.empty()) error.insert(0, "migration to schema " + std::to_string(step + 1) + ": ");
    }
    if (error.empty() && version < known) error = szExec(db, "PRAGMA user_version = " + std::to_string(known));
    if (error.empty()) error = szExec(db, "COMMIT");
    if (!error.empty()) szExec(db, "ROLLBACK");
    return error;
}

}  // namespace kivota
