#pragma once
// The local history of runs: one SQLite file that every program of the installation writes
// (the window, the terminal client, the automatic mode). Each run is written in one
// transaction; the file is in WAL mode and a writer waits for another one (busy timeout), so
// two programs finishing at once both land. Nothing here throws: a file that is corrupt,
// locked or unwritable gives an error text for the caller's stderr or log, and the run it was
// to hold goes on and reports as it would have. A file that is not a history is never
// deleted or overwritten. A store is one connection: use it from one thread at a time (each
// program or thread that records opens its own).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history_run.h"

struct sqlite3;

namespace kivota {

struct HistoryOptions {
    // How long a write waits for another program's write to end.
    int busyTimeoutMs = 5000;
    // Create the file (and its folder, 0700) when it does not exist; off: only an existing one.
    bool create = true;
};

// What record() did: the new run's id, or why the run is not in the history.
struct HistoryWrite {
    std::int64_t id = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Which runs a listing shows: newest first, at most `limit` (0: all), none that began before
// `sinceUtc` ("YYYY-MM-DDTHH:MM:SSZ", see optSinceUtc; empty: no bound).
struct HistoryQuery {
    int limit = 0;
    std::string sinceUtc;
};

class HistoryStore {
public:
    // Opens the file at `path`, bringing an older schema to the current one. Never throws; a
    // store that could not open says why in openError(), and every call on it fails with
    // that text (record() tries to open once more first: a lock may have gone).
    explicit HistoryStore(std::string path, HistoryOptions options = {});
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    const std::string& openError() const { return openError_; }
    const std::string& path() const { return path_; }

    // Adds one finished run with its seconds and latency samples, all or nothing. Its id is
    // ignored; the new one is returned.
    HistoryWrite record(const HistoryRun& run) noexcept;

    // The runs of a listing, without their seconds and samples; nullopt with `error` when the
    // file cannot be read.
    std::optional<std::vector<HistoryRun>> optRuns(const HistoryQuery& query, std::string& error) const noexcept;

    // One run with its seconds and samples. nullopt with an empty `error`: no run has that id;
    // nullopt with `error`: the file cannot be read.
    std::optional<HistoryRun> optRun(std::int64_t id, std::string& error) const noexcept;

private:
    void vOpen() noexcept;
    std::string szError(const std::string& what) const;

    std::string path_;
    HistoryOptions options_;
    sqlite3* db_ = nullptr;
    std::string openError_;
};

// Records one run in the history at `path` (opened for this call and closed again): what the
// programs call when a run has ended.
HistoryWrite recordRun(const HistoryRun& run, const std::string& path);

}  // namespace kivota
