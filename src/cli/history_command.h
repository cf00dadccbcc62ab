#pragma once
// kivota-cli history: lists the runs of the local history (table, CSV or JSON Lines) or draws
// one of them as an SVG picture.

#include <ostream>
#include <string>
#include <vector>

namespace kivota {

// Exit statuses of the history command.
enum HistoryExit {
    HistoryExitDone = 0,
    HistoryExitNoPlot = 1,      // no run to draw, or the picture could not be written
    HistoryExitUsage = 2,       // wrong command line
    HistoryExitUnreadable = 3,  // the history database cannot be read
};

// `args` are the words after "history". The history is the one szDefaultHistoryPath() names.
int iRunHistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

const char* szHistoryUsage();

}  // namespace kivota
