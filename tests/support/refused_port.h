#pragma once
// A loopback port on which nobody listens (bound once, then released), for tests that need a
// connection to be refused at once.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace kivota::test {

inline int refusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    if (fd >= 0) ::close(fd);
    return bound ? ntohs(addr.sin_port) : 0;
}

// "127.0.0.1:<refused port>", a server value for the FTP connections.
inline std::string refusedServer() { return "127.0.0.1:" + std::to_string(refusedPort()); }

}  // namespace kivota::test
