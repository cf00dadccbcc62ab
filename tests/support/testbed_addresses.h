#pragma once
// The worker's server addresses pointing at a testbed, letter-encoded as the build stores them.

#include <string>

#include "run/stored_addresses.h"
#include "support/letter_encode.h"

namespace kivota::test {

// `httpBase` is the testbed's HTTP side without a path ("http://host:port"); `guestFtpServer`
// the FTP server of the guest test ("host" or "host:port").
inline StoredAddresses testbedAddresses(const std::string& httpBase, const std::string& guestFtpServer) {
    StoredAddresses a;
    a.configUrl = szEncode(httpBase + "/kivota/config");
    a.testParamUrl = szEncode(httpBase + "/kivota/testparam");
    a.notifyUrl1 = szEncode(httpBase + "/kivota/notify1");
    a.notifyUrl2 = szEncode(httpBase + "/kivota/notify2");
    a.keepAliveUrl = szEncode(httpBase + "/kivota/keepalive");
    a.resultUrl = szEncode(httpBase + "/kivota/result");
    a.guestFtpServer = szEncode(guestFtpServer);
    return a;
}

}  // namespace kivota::test
