#pragma once
// The system's message texts for the error codes the management layer reports: Windows error
// numbers and the HRESULTs built from them (facility 7), and the common COM results, in the
// system's English wording. These are not errno values and are never read as such.

#include <cstdint>
#include <string>

namespace kivota {

// The message for `code`, at most 255 bytes; a code without a message of its own is written as
// "Unknown error 0x%08X".
std::string szSystemErrorText(std::int32_t code);

// When the text's first CR-LF pair is its last two characters, the pair is removed; a text
// with earlier line breaks stays whole.
std::string szTrimSystemMessage(std::string text);

}  // namespace kivota
