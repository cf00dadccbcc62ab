#pragma once
// Runs for the history's tests: a plausible whole run, one with every column set to a value of
// its own, and a scratch folder that holds a history file.

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "history/history_columns.h"
#include "history/history_run.h"

namespace kivota::test {

// A reported terminal run: 12 download seconds (the 5th has no FTP rate) and 10 upload
// seconds, 3 s of idle echoes at 10 per second and echoes through both phases, two lost.
inline HistoryRun sampleRun(const std::string& timeUtc = "2025-03-01T12:34:56Z") {
    HistoryRun r;
    r.timeUtc = timeUtc;
    r.utcOffsetMinutes = 60;
    r.program = "kivota-cli";
    r.mode = "interactive";
    r.outcome = "reported";
    r.downloadKbps = 48123.45;
    r.uploadKbps = 9550.5;
    r.adapterDownloadKbps = 49900;
    r.adapterUploadKbps = 9980;
    r.adapterUploadDuringDownloadKbps = 1210;
    r.adapterDownloadDuringUploadKbps = 380;
    r.rttMinMs = 10;
    r.rttAvgMs = 11.5;
    r.rttMaxMs = 14;
    r.latency.idle = {30, 0, 0, 10.1, 11.2, 11.4, 12.5, 12.9, 13.8, 0.6, 0.5, std::nullopt};
    r.latency.download = {120, 1, 0.83, 18.0, 52.3, 55.0, 70.1, 74.2, 80.9, 4.1, 3.2, 51.0};
    r.latency.upload = {100, 1, 1.0, 20.5, 88.4, 90.2, 101.0, 104.5, 110.7, 6.3, 5.5, 87.5};
    r.latency.downloadRiseMs = 41.1;
    r.latency.uploadRiseMs = 77.2;
    r.latency.downloadResponsiveness = {812, "high", 24, 120, 60.5, 73.9, 52.0};
    r.latency.uploadResponsiveness = {455, "medium", 20, 100, 120.1, 131.0, 88.0};
    r.downloadStartSec = 3.0;
    r.uploadStartSec = 16.0;
    r.downloadConnections = 8;
    r.uploadConnections = 4;
    r.resultUrl = "http://198.18.0.2/result?id=12&k=\"a,b\"";
    r.serial = "A1B2C3";
    r.serverTime = "2025/03/01 13:35:30";
    for (int i = 0; i < 12; ++i) {
        HistorySecond s{HistoryPhase::Download, i, 40000.0 + 700 * i, 41500.0 + 700 * i, 1100.0 + i};
        if (i == 4) s.ftpKbps.reset();
        r.seconds.push_back(s);
    }
    for (int i = 0; i < 10; ++i) r.seconds.push_back({HistoryPhase::Upload, i, 9000.0 + 90 * i, 9400.0 + 90 * i, 350});
    for (int i = 0; i < 250; ++i) {
        LatencySample s;
        s.atSec = i * 0.1;
        s.stage = i < 30 ? LatencyStage::Idle : i < 150 ? LatencyStage::Download : LatencyStage::Upload;
        s.rttMs = s.stage == LatencyStage::Idle       ? 11 + i % 3
                  : s.stage == LatencyStage::Download ? 50 + i % 9
                                                      : 85 + i % 11;
        s.lost = i == 77 || i == 200;
        if (s.lost) s.rttMs = 0;
        r.latency.samples.push_back(s);
    }
    return r;
}

// Every column of the runs table set to a value no other column has, by the column's type.
inline HistoryRun runWithEveryColumn() {
    HistoryRun r;
    int n = 0;
    for (const HistoryColumn& c : historyColumns()) {
        ++n;
        switch (c.type) {
            case HistoryColumnType::Integer: c.set(r, static_cast<std::int64_t>(1000 + n)); break;
            case HistoryColumnType::Real: c.set(r, n + 0.125); break;
            case HistoryColumnType::Text: c.set(r, "text " + std::to_string(n) + ", \"quoted\"\r\nnext line"); break;
        }
    }
    r.timeUtc = "2024-11-30T23:59:59Z";
    r.seconds = {{HistoryPhase::Download, 0, 1.5, std::nullopt, 3.25},
                 {HistoryPhase::Upload, 0, std::nullopt, 2.5, 0.0}};
    r.latency.samples = {{0.0, LatencyStage::Idle, false, 12.5}, {0.1, LatencyStage::Download, true, 0}};
    return r;
}

// A folder of its own under the temporary folder, removed with everything in it (also when
// a test made it read-only).
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag)
        : path_(std::filesystem::temp_directory_path() / (tag + "_" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
            if (entry.is_directory(ec))
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, ec);
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// An environment variable set (or, with nullopt, unset) for a scope and put back after it; the
// zone is read again both times, for TZ.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        vSet(value);
    }
    ~ScopedEnv() { vSet(saved_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void vSet(const std::optional<std::string>& value) {
        value ? ::setenv(name_, value->c_str(), 1) : ::unsetenv(name_);
        ::tzset();
    }
    const char* name_;
    std::optional<std::string> saved_;
};

}  // namespace kivota::test
