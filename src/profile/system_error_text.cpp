#include "profile/system_error_text.h"

#include <cstdio>

namespace kivota {

namespace {

struct MessageEntry {
    std::uint32_t code;
    const char* text;
};

// Windows error numbers, as the system's message table words them.
constexpr MessageEntry kWin32Messages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {21, "The device is not ready."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {50, "The request is not supported."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {1060, "The specified service does not exist as an installed service."},
    {1062, "The service has not been started."},
    {1168, "Element not found."},
    {1460, "This operation returned because the timeout period expired."},
    {1722, "The RPC server is unavailable."},
    {1726, "The remote procedure call failed."},
};

// COM results that are not Windows error numbers in disguise.
constexpr MessageEntry kComMessages[] = {
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004004, "Operation aborted"},
    {0x80004005, "Unspecified error"},
    {0x8000FFFF, "Catastrophic failure"},
    {0x800401F0, "CoInitialize has not been called."},
    {0x80010106, "Cannot change thread mode after it is set."},
    {0x80010108, "The object invoked has disconnected from its clients."},
};

constexpr std::uint32_t kFacilityWin32 = 7;

template <std::size_t N>
const char* find(const MessageEntry (&table)[N], std::uint32_t code) {
    for (const auto& entry : table)
        if (entry.code == code) return entry.text;
    return nullptr;
}

}  // namespace

std::string szTrimSystemMessage(std::string text) {
    const auto pair = text.find("\r\n");
    if (pair != std::string::npos && pair + 2 == text.size()) text.resize(pair);
    return text;
}

std::string szSystemErrorText(std::int32_t code) {
    const auto value = static_cast<std::uint32_t>(code);
    const char* text = nullptr;
    if (value <= 0xFFFFu) {
        text = find(kWin32Messages, value);
    } else if ((value & 0xFFFF0000u) == (0x80000000u | kFacilityWin32 << 16)) {
        text = find(kWin32Messages, value & 0xFFFFu);  // HRESULT_FROM_WIN32
    } else {
        text = find(kComMessages, value);
    }
    if (text != nullptr) return szTrimSystemMessage(text);
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08X", value);
    return unknown;
}

}  // namespace kivota
