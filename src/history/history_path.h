#pragma once
// Where the history lives: $XDG_DATA_HOME/kivota/history.db, or ~/.local/share/kivota/ when
// XDG_DATA_HOME is unset or not an absolute path.

#include <string>

namespace kivota {

std::string szDefaultHistoryPath();

// Creates `folder` and any missing parent with mode 0700 (the history holds the subscriber's
// result links and serials); a folder that exists keeps its mode. Empty on success, else why not.
std::string szEnsureHistoryFolder(const std::string& folder);

}  // namespace kivota
