#pragma once
// What a shell command prints on its standard output, without the trailing line ends.

#include <string>

namespace kivota::test {

std::string szCommandOutput(const std::string& command);

}  // namespace kivota::test
