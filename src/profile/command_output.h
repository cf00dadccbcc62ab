#pragma once
// Runs a command as a child process with its standard output and error in one pipe and
// returns what it wrote once it has ended.

#include <cstddef>
#include <optional>
#include <string>

namespace kivota {

// commandLine is split on blanks; its first word names a program in `dir`, and only there: a
// command of that name elsewhere (on PATH, in the working directory) never runs, so a missing
// helper cannot be stood in for by whatever is found. The whole output is drained while the
// child runs, so a child that writes more than the pipe holds cannot stall; the first maxBytes
// bytes are kept. Waits without limit for the child to end. Nothing when `dir` is empty, the
// program is not there, or the pipe or the child cannot be created.
std::optional<std::string> runCommandOutput(const std::string& commandLine, const std::string& dir,
                                            std::size_t maxBytes);

}  // namespace kivota
