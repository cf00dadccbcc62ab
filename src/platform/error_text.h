#pragma once
// The system's text for an errno value, read without the shared buffer of strerror, so any
// thread may ask.

#include <string>
#include <system_error>

namespace kivota {

inline std::string szErrnoText(int code) { return std::generic_category().message(code); }

}  // namespace kivota
