// A server named with its port, as the test parameters and the settings file write it.
#include <gtest/gtest.h>

#include <string>

#include "net/host_port.h"

namespace kivota {
namespace {

struct HostPortCase {
    std::string text, host;
    int port;
};

class HostPort : public ::testing::TestWithParam<HostPortCase> {};

TEST_P(HostPort, SplitsOnlyAPortItCanRead) {
    std::string host = GetParam().text;
    int port = 21;
    vSplitHostPort(host, port);
    EXPECT_EQ(host, GetParam().host);
    EXPECT_EQ(port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Servers, HostPort,
                         ::testing::Values(HostPortCase{"198.18.0.2", "198.18.0.2", 21},
                                           HostPortCase{"ftp.example:2121", "ftp.example", 2121},
                                           HostPortCase{"127.0.0.1:65535", "127.0.0.1", 65535},
                                           // A port that is no number, none, or out of range keeps the default.
                                           HostPortCase{"ftp.example:x21", "ftp.example", 21},
                                           HostPortCase{"ftp.example:", "ftp.example", 21},
                                           HostPortCase{"ftp.example:65536", "ftp.example", 21},
                                           HostPortCase{"ftp.example:-1", "ftp.example", 21},
                                           // More than one colon: an IPv6 address, taken whole.
                                           HostPortCase{"::1", "::1", 21}));

}  // namespace
}  // namespace kivota
