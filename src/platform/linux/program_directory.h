#pragma once
// The directory of the running program (from /proc/self/exe): the program looks for its own
// helper commands there before it searches PATH.

#include <string>

namespace kivota {

// Empty when the link cannot be read.
std::string programDirectory();

}  // namespace kivota
