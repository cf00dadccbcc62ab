#pragma once
// The check of a completion code, the code of a service order that the field staff give the
// subscriber: Base64 text of ':'-separated fields ending in an MD5 check value.

#include <string>

namespace kivota {

// True when `code` passes the check: its Base64 decoding, split at runs of ':', holds the
// payload fields 1-4 and the check value (field 6 when there is one, else field 5), and the
// check value equals MD5(first four characters of MD5(field 4) + fields 1-4) exactly.
bool bCompletionCodeValid(const std::string& code);

}  // namespace kivota
