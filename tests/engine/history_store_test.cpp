// The history file: what goes in comes back, older schemas are brought forward, two writers
// both land, and a file that cannot take a run says so without throwing or being touched.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <tuple>

#include "history/history_columns.h"
#include "history/history_path.h"
#include "history/history_schema.h"
#include "history/history_store.h"
#include "support/history_samples.h"

using namespace kivota;
using kivota::test::ScratchFolder;

namespace {

std::string szFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void vExpectSameRun(const HistoryRun& want, const HistoryRun& got) {
    for (const HistoryColumn& c : historyColumns()) EXPECT_EQ(c.get(want), c.get(got)) << c.name;
    const auto seconds = [](const HistoryRun& r) {
        std::vector<std::tuple<HistoryPhase, int, std::optional<double>, std::optional<double>, std::optional<double>>>
            v;
        for (const HistorySecond& s : r.seconds)
            v.emplace_back(s.phase, s.index, s.ftpKbps, s.adapterKbps, s.otherAdapterKbps);
        return v;
    };
    // A lost sample has no round trip.
    const auto samples = [](const HistoryRun& r) {
        std::vector<std::tuple<double, LatencyStage, bool, double>> v;
        for (const LatencySample& s : r.latency.samples) v.emplace_back(s.atSec, s.stage, s.lost, s.lost ? 0 : s.rttMs);
        return v;
    };
    EXPECT_TRUE(seconds(want) == seconds(got));
    EXPECT_TRUE(samples(want) == samples(got));
}

struct RoundTripCase {
    const char* name;
    std::function<HistoryRun()> make;
};

class HistoryRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(HistoryRoundTrip, EveryFieldComesBackAsWritten) {
    ScratchFolder scratch("kv_history_roundtrip");
    const HistoryRun written = GetParam().make();
    HistoryStore store(scratch.file("history.db"));
    ASSERT_TRUE(store.isOpen()) << store.openError();
    const HistoryWrite w = store.record(written);
    ASSERT_TRUE(w.ok()) << w.error;
    std::string error;
    const auto read = store.optRun(w.id, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->id, w.id);
    vExpectSameRun(written, *read);
}

INSTANTIATE_TEST_SUITE_P(Runs, HistoryRoundTrip,
                         testing::Values(RoundTripCase{"EveryColumnDistinct", kivota::test::runWithEveryColumn},
                                         RoundTripCase{"WholeRun", [] { return kivota::test::sampleRun(); }},
                                         RoundTripCase{"NothingMeasured", [] { return HistoryRun{}; }}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(HistoryStore, EachColumnReachesAFieldOfItsOwn) {
    const HistoryRun r = kivota::test::runWithEveryColumn();
    std::set<HistoryValue> values;
    for (const HistoryColumn& c : historyColumns()) values.insert(c.get(r));
    EXPECT_EQ(values.size(), historyColumns().size());
}

TEST(HistoryStore, ListsNewestFirstWithLimitAndSince) {
    ScratchFolder scratch("kv_history_query");
    HistoryStore store(scratch.file("h.db"));
    // Recorded out of order: the listing goes by the runs' times.
    for (const char* t :
         {"2025-03-02T08:00:00Z", "2025-02-27T23:59:59Z", "2025-03-05T10:30:00Z", "2025-03-01T00:00:00Z"}) {
        HistoryRun r;
        r.timeUtc = t;
        ASSERT_TRUE(store.record(r).ok());
    }
    const auto times = [&](const HistoryQuery& q) {
        std::string error, list;
        const auto runs = store.optRuns(q, error);
        for (const HistoryRun& r : runs.value()) list += r.timeUtc.substr(5, 5) + " ";
        return list;
    };
    EXPECT_EQ(times({}), "03-05 03-02 03-01 02-27 ");
    EXPECT_EQ(times({2, ""}), "03-05 03-02 ");
    EXPECT_EQ(times({0, "2025-03-01T00:00:00Z"}), "03-05 03-02 03-01 ");
    EXPECT_EQ(times({1, "2025-03-01T00:00:00Z"}), "03-05 ");
    EXPECT_EQ(times({0, "2026-01-01T00:00:00Z"}), "");
    std::string error;
    EXPECT_FALSE(store.optRun(99, error));
    EXPECT_EQ(error, "");
}

TEST(HistoryStore, DefaultPathFollowsXdgAndFoldersAreCreatedPrivate) {
    ScratchFolder scratch("kv_history_xdg");
    kivota::test::ScopedEnv home("HOME", scratch.path());
    {
        kivota::test::ScopedEnv xdg("XDG_DATA_HOME", scratch.path() + "/data/");
        EXPECT_EQ(szDefaultHistoryPath(), scratch.path() + "/data/kivota/history.db");
    }
    kivota::test::ScopedEnv xdg("XDG_DATA_HOME", "relative/is/ignored");
    EXPECT_EQ(szDefaultHistoryPath(), scratch.path() + "/.local/share/kivota/history.db");

    const mode_t oldMask = ::umask(022);
    EXPECT_TRUE(recordRun(kivota::test::sampleRun(), szDefaultHistoryPath()).ok());
    ::umask(oldMask);
    for (const char* folder : {"/.local", "/.local/share", "/.local/share/kivota"}) {
        struct stat st {};
        ASSERT_EQ(::stat((scratch.path() + folder).c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
}

// Schema 1 made by hand, as a program of that schema left it, with one run in it.
void vMakeSchemaOneFile(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string sql = historyMigrations().at(0) +
                            "INSERT INTO runs (time_utc, utc_offset_minutes, program, mode, outcome, error_code,"
                            " error_text, download_kbps, idle_sent, idle_lost, download_sent, download_lost,"
                            " upload_sent, upload_lost, download_responsiveness_confidence,"
                            " download_responsiveness_foreign_probes, download_responsiveness_self_probes,"
                            " upload_responsiveness_confidence, upload_responsiveness_foreign_probes,"
                            " upload_responsiveness_self_probes, result_url, serial, server_time)"
                            " VALUES ('2024-06-01T10:00:00Z', 120, 'kivota', 'guest', 'not-reported', 0, '',"
                            " 20000.5, 0, 0, 0, 0, 0, 0, '', 0, 0, '', 0, 0, '', '', '');"
                            "INSERT INTO seconds VALUES (1, 'download', 0, 19000, 19500, NULL);"
                            "PRAGMA user_version = 1;";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(HistoryMigration, SchemaOneFileOpensAndTakesNewRuns) {
    ScratchFolder scratch("kv_history_schema1");
    const std::string path = scratch.file("h.db");
    vMakeSchemaOneFile(path);
    HistoryStore store(path);
    ASSERT_TRUE(store.isOpen()) << store.openError();
    ASSERT_TRUE(store.record(kivota::test::sampleRun()).ok());
    std::string error;
    const auto old = store.optRun(1, error);
    ASSERT_TRUE(old) << error;
    EXPECT_EQ(old->mode, "guest");
    EXPECT_EQ(old->downloadKbps, 20000.5);
    EXPECT_FALSE(old->uploadKbps);
    ASSERT_EQ(old->seconds.size(), 1u);
    EXPECT_EQ(old->seconds[0].adapterKbps, 19500);
    EXPECT_EQ(store.optRuns({}, error).value().size(), 2u);
}

// The first column of the first row a query gives, as text.
std::string szFirst(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    std::string text = "no row";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    return text;
}

TEST(HistoryMigration, LaterStepsRunOnceAndAFailedOneLeavesTheSchema) {
    ScratchFolder scratch("kv_history_migrate");
    vMakeSchemaOneFile(scratch.file("h.db"));
    auto migrations = historyMigrations();
    migrations.push_back("ALTER TABLE runs ADD COLUMN note TEXT NOT NULL DEFAULT 'none';");
    migrations.push_back("UPDATE runs SET note = note || ' from ' || mode;");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(scratch.file("h.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(szMigrateHistory(db, migrations), "");
    EXPECT_EQ(szMigrateHistory(db, migrations), "");  // already there: nothing runs twice
    EXPECT_EQ(szFirst(db, "SELECT note FROM runs"), "none from guest");
    EXPECT_EQ(szFirst(db, "PRAGMA user_version"), "3");
    migrations.push_back("ALTER TABLE runs ADD COLUMN x; ALTER TABLE no_such_table ADD COLUMN x;");
    EXPECT_NE(szMigrateHistory(db, migrations).find("migration to schema 4"), std::string::npos);
    EXPECT_EQ(szFirst(db, "PRAGMA user_version"), "3");
    EXPECT_EQ(szFirst(db, "SELECT count(*) FROM pragma_table_info('runs') WHERE name = 'x'"), "0");
    sqlite3_close(db);
}

TEST(HistoryStore, TwoProgramsWritingAtOnceBothLand) {
    ScratchFolder scratch("kv_history_writers");
    const std::string path = scratch.file("history.db");
    constexpr int kRunsEach = 40;
    // Two processes, as the window and the terminal client are, opening the new file at once.
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failures = 0;
            HistoryStore store(path);
            for (int i = 0; i < kRunsEach; ++i) {
                HistoryRun r = kivota::test::sampleRun();
                r.serial = std::to_string(::getpid()) + "/" + std::to_string(i);
                if (!store.record(r).ok()) ++failures;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    HistoryStore store(path);
    std::string error;
    const auto runs = store.optRuns({}, error);
    ASSERT_TRUE(runs) << error;
    std::set<std::string> serials;
    for (const HistoryRun& r : *runs) serials.insert(r.serial);
    EXPECT_EQ(serials.size(), 2u * kRunsEach);
    const auto last = store.optRun(runs->front().id, error);
    ASSERT_TRUE(last) << error;
    EXPECT_EQ(last->seconds.size(), 22u);
    EXPECT_EQ(last->latency.samples.size(), 250u);
}

// A history that cannot take a run, and what its error must say.
struct FailureCase {
    const char* name;
    std::function<void(const std::string& folder, const std::string& file)> prepare;
    const char* says;
    bool keepsFile;  // the file's bytes are left exactly as they were
};

class HistoryFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(HistoryFailure, RecordReportsAndLeavesTheFile) {
    ScratchFolder scratch("kv_history_failure");
    const std::string folder = scratch.file("kivota"), file = folder + "/history.db";
    std::filesystem::create_directories(folder);
    GetParam().prepare(folder, file);
    const std::string before = szFileBytes(file);

    // Root writes where the folder's mode says no: the check runs as an ordinary user then.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        HistoryOptions options;
        options.busyTimeoutMs = 100;
        HistoryStore store(file, options);
        const HistoryWrite w = store.record(kivota::test::sampleRun());
        if (w.ok()) ::_exit(1);
        std::fprintf(stderr, "%s\n", w.error.c_str());
        ::_exit(w.error.find(GetParam().says) != std::string::npos && w.error.find(file) != std::string::npos ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: recorded; 2: the error does not say \"" << GetParam().says << "\"";
    if (GetParam().keepsFile) {
        EXPECT_TRUE(szFileBytes(file) == before) << "the file was changed";
    }
}

void vWriteGarbage(const std::string&, const std::string& file) {
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < 8192; ++i) out.put(static_cast<char>((i * 7919 + 13) % 251));
}

INSTANTIATE_TEST_SUITE_P(
    Files, HistoryFailure,
    testing::Values(FailureCase{"Corrupt", vWriteGarbage, "the file is kept as it is", true},
                    FailureCase{"ReadOnlyFolder",
                                [](const std::string& folder, const std::string& file) {
                                    // The folder and the file may belong to root: open them to all, then the
                                    // folder read-only.
                                    { HistoryStore store(file); }
                                    ::chmod(file.c_str(), 0666);
                                    ::chmod(std::filesystem::path(folder).parent_path().c_str(), 0755);
                                    ::chmod(folder.c_str(), 0555);
                                },
                                "readonly", false},
                    FailureCase{"NoFolderAllowed",
                                [](const std::string& folder, const std::string&) {
                                    std::filesystem::remove(folder);
                                    ::chmod(std::filesystem::path(folder).parent_path().c_str(), 0555);
                                },
                                "cannot create the folder", true},
                    FailureCase{"NewerSchema",
                                [](const std::string& folder, const std::string& file) {
                                    sqlite3* db = nullptr;
                                    sqlite3_open(file.c_str(), &db);
                                    sqlite3_exec(db, "CREATE TABLE runs (x); PRAGMA user_version = 99;", nullptr,
                                                 nullptr, nullptr);
                                    sqlite3_close(db);
                                    ::chmod(file.c_str(), 0666);
                                    ::chmod(folder.c_str(), 0777);
                                },
                                "newer than this program's", true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(HistoryStore, LockedFileReportsAndTheNextRunLands) {
    ScratchFolder scratch("kv_history_locked");
    const std::string path = scratch.file("h.db");
    HistoryOptions options;
    options.busyTimeoutMs = 100;
    HistoryStore store(path, options);
    ASSERT_TRUE(store.isOpen()) << store.openError();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const HistoryWrite locked = store.record(kivota::test::sampleRun());
    EXPECT_FALSE(locked.ok());
    EXPECT_NE(locked.error.find("locked"), std::string::npos) << locked.error;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    // Nothing of the refused run stayed; the next one is whole.
    const HistoryWrite next = store.record(kivota::test::sampleRun());
    ASSERT_TRUE(next.ok()) << next.error;
    std::string error;
    EXPECT_EQ(store.optRuns({}, error).value().size(), 1u);
    EXPECT_EQ(store.optRun(next.id, error).value().latency.samples.size(), 250u);
}

}  // namespace
