#include "run/error_texts.h"

#include "net/letter_code.h"

namespace kivota {

namespace {

std::string szDecodeEntry(const std::array<std::string_view, kErrorTextCount>& table, int errorCode) {
    if (errorCode < 0 || static_cast<std::size_t>(errorCode) >= table.size()) return {};
    return szDecode(table[static_cast<std::size_t>(errorCode)]);
}

}  // namespace

std::string szErrorCaption(int errorCode) { return szDecodeEntry(errorCaptionTable(), errorCode); }
std::string szErrorText(int errorCode) { return szDecodeEntry(errorMessageTable(), errorCode); }

}  // namespace kivota
