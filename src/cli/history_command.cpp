#include "cli/history_command.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "history/history_formats.h"
#include "history/history_path.h"
#include "history/history_plot.h"
#include "history/history_store.h"
#include "history/history_time.h"

namespace kivota {

namespace {

struct HistoryOptionsLine {
    HistoryQuery query;
    std::string format = "table";
    std::string plotFile;
    std::optional<std::int64_t> runId;
    bool listOption = false;  // --limit, --since or --format was given
    bool help = false;
};

// A whole decimal number from 1 up, or nullopt.
std::optional<std::int64_t> optPositive(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const std::int64_t value = std::stoll(text);
    return value > 0 ? std::optional(value) : std::nullopt;
}

std::optional<HistoryOptionsLine> optParse(const std::vector<std::string>& args, std::string& error) {
    HistoryOptionsLine o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            continue;
        }
        if (a != "--limit" && a != "--since" && a != "--format" && a != "--plot" && a != "--run") {
            error = "unknown argument: " + a;
            return std::nullopt;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = a + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (a == "--limit") {
            const auto limit = optPositive(value);
            if (!limit || *limit > 1000000000) {
                error = "--limit needs a number of runs from 1: " + value;
                return std::nullopt;
            }
            o.query.limit = static_cast<int>(*limit);
            o.listOption = true;
        } else if (a == "--since") {
            const auto since = optSinceUtc(value, error);
            if (!since) {
                error.insert(0, "--since: ");
                return std::nullopt;
            }
            o.query.sinceUtc = *since;
            o.listOption = true;
        } else if (a == "--format") {
            if (value != "table" && value != "csv" && value != "jsonl") {
                error = "--format is table, csv or jsonl: " + value;
                return std::nullopt;
            }
            o.format = value;
            o.listOption = true;
        } else if (a == "--plot") {
            o.plotFile = value;
        } else {
            o.runId = optPositive(value);
            if (!o.runId) {
                error = "--run needs a run's id (a number from 1): " + value;
                return std::nullopt;
            }
        }
    }
    if (o.runId && o.plotFile.empty()) {
        error = "--run goes with --plot";
        return std::nullopt;
    }
    if (!o.plotFile.empty() && o.listOption) {
        error = "--plot draws one run; --limit, --since and --format are for listings";
        return std::nullopt;
    }
    return o;
}

// Reading never creates the history.
HistoryOptions readingOptions() {
    HistoryOptions options;
    options.create = false;
    return options;
}

// Only a file that is plainly absent is an empty history; one that cannot even be looked at
// is left to the store to report.
bool bMissing(const std::string& path) {
    std::error_code ec;
    return std::filesystem::status(path, ec).type() == std::filesystem::file_type::not_found;
}

int iList(const HistoryOptionsLine& o, const std::string& path, std::ostream& out, std::ostream& err) {
    std::vector<HistoryRun> runs;
    if (!bMissing(path)) {
        HistoryStore store(path, readingOptions());
        std::string error;
        auto found = store.optRuns(o.query, error);
        if (!found) {
            err << "kivota-cli: " << error << "\n";
            return HistoryExitUnreadable;
        }
        runs = std::move(*found);
    }
    if (o.format == "csv") {
        out << szHistoryCsv(runs);
    } else if (o.format == "jsonl") {
        out << szHistoryJsonLines(runs);
    } else {
        out << szHistoryTable(runs);
    }
    out.flush();
    return HistoryExitDone;
}

int iPlot(const HistoryOptionsLine& o, const std::string& path, std::ostream& out, std::ostream& err) {
    if (bMissing(path)) {
        err << "kivota-cli: no runs in the history (" << path << ")\n";
        return HistoryExitNoPlot;
    }
    HistoryStore store(path, readingOptions());
    std::string error;
    std::optional<std::int64_t> id = o.runId;
    if (!id) {
        HistoryQuery newestOnly;
        newestOnly.limit = 1;
        const auto newest = store.optRuns(newestOnly, error);
        if (!newest) {
            err << "kivota-cli: " << error << "\n";
            return HistoryExitUnreadable;
        }
        if (newest->empty()) {
            err << "kivota-cli: no runs in the history (" << path << ")\n";
            return HistoryExitNoPlot;
        }
        id = newest->front().id;
    }
    const auto run = store.optRun(*id, error);
    if (!run) {
        if (!error.empty()) {
            err << "kivota-cli: " << error << "\n";
            return HistoryExitUnreadable;
        }
        err << "kivota-cli: the history has no run " << *id << "\n";
        return HistoryExitNoPlot;
    }
    std::ofstream file(o.plotFile, std::ios::binary | std::ios::trunc);
    file << szRunPlotSvg(*run);
    file.close();
    if (!file) {
        err << "kivota-cli: cannot write " << o.plotFile << "\n";
        return HistoryExitNoPlot;
    }
    out << "run " << *id << " drawn in " << o.plotFile << "\n";
    return HistoryExitDone;
}

}  // namespace

int iRunHistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto options = optParse(args, error);
    if (!options) {
        err << "kivota-cli history: " << error << "\n" << szHistoryUsage();
        return HistoryExitUsage;
    }
    if (options->help) {
        out << szHistoryUsage();
        return HistoryExitDone;
    }
    const std::string path = szDefaultHistoryPath();
    return options->plotFile.empty() ? iList(*options, path, out, err) : iPlot(*options, path, out, err);
}

const char* szHistoryUsage() {
    return "usage: kivota-cli history [--limit N] [--since DATE] [--format table|csv|jsonl]\n"
           "       kivota-cli history --plot FILE.svg [--run ID]\n"
           "  The runs of the window and of the terminal client, newest first, from\n"
           "  $XDG_DATA_HOME/kivota/history.db (~/.local/share/kivota/history.db).\n"
           "  --limit N       at most N runs\n"
           "  --since DATE    only runs from this local date (YYYY-MM-DD) or date-time\n"
           "                  (YYYY-MM-DD HH:MM[:SS]) on\n"
           "  --format F      table (the default, for a terminal), csv (RFC 4180, one row per\n"
           "                  run with every figure) or jsonl (one JSON object per run and line)\n"
           "  --plot FILE     draw a run as an SVG picture: its per-second FTP and adapter rates\n"
           "                  and its latency samples over time\n"
           "  --run ID        the run to draw (the ID column of the table); the newest without it\n"
           "exit status:\n"
           "  0   done\n"
           "  1   nothing drawn: no such run, or FILE could not be written\n"
           "  2   wrong command line\n"
           "  3   the history database cannot be read\n";
}

}  // namespace kivota
