#pragma once
// The server addresses of a build, kept letter-encoded (see szDecode) until just before use.
// The build's own table comes from the CMake cache; tests substitute a table of their own
// (the testbed's loopback ports).

#include <string>

namespace kivota {

struct StoredAddresses {
    std::string configUrl;     // first configuration (GET, cookie captured)
    std::string testParamUrl;  // test parameters (GET)
    std::string notifyUrl1;    // notifications before the measurement (GET, no reply read)
    std::string notifyUrl2;
    std::string keepAliveUrl;    // keep-alive during the phases
    std::string resultUrl;       // result upload (POST)
    std::string guestFtpServer;  // FTP server of the guest test
    std::string probeTarget1;    // echo probe targets (dotted IPv4)
    std::string probeTarget2;
    std::string referenceAddress1;  // addresses whose best interface is the tested adapter
    std::string referenceAddress2;
    std::string settingsFileName;  // settings file of the automatic mode
};

// The table this build was configured with (all values letter-encoded).
const StoredAddresses& buildAddresses();

}  // namespace kivota
