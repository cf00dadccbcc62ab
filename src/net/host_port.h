#pragma once
// A server named "host" or "host:port", as the test parameters and the settings file give it.

#include <string>

namespace kivota {

// Splits a port off `host` when it names one (one colon, decimal digits after it); `port` keeps
// its value otherwise. An address with more colons (IPv6) is taken whole.
void vSplitHostPort(std::string& host, int& port);

}  // namespace kivota
