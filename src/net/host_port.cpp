#include "net/host_port.h"

#include <charconv>

namespace kivota {

void vSplitHostPort(std::string& host, int& port) {
    const auto colon = host.rfind(':');
    if (colon == std::string::npos || host.find(':') != colon) return;
    const char* begin = host.data() + colon + 1;
    const char* end = host.data() + host.size();
    int value = 0;
    const auto parsed = std::from_chars(begin, end, value);
    if (parsed.ec == std::errc() && parsed.ptr == end && value > 0 && value <= 65535) port = value;
    host.resize(colon);
}

}  // namespace kivota
