#pragma once
// The caption and message text the window (and the terminal client) shows for each error code 0..13. Both tables are
// stored letter-encoded; the accessors decode an entry each time it is used. Codes outside the
// tables (14, the automatic run) give empty texts.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kivota {

inline constexpr std::size_t kErrorTextCount = 14;

// The encoded tables (generated at build time).
const std::array<std::string_view, kErrorTextCount>& errorCaptionTable();
const std::array<std::string_view, kErrorTextCount>& errorMessageTable();

std::string szErrorCaption(int errorCode);
std::string szErrorText(int errorCode);

}  // namespace kivota
