#pragma once
// A connected pair of loopback TCP sockets, closed with the object: `sender` writes to
// `receiver`.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kivota::test {

struct LoopbackPair {
    int receiver = -1, sender = -1;
    LoopbackPair() {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
        receiver = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(receiver, reinterpret_cast<sockaddr*>(&a), sizeof a);
        sender = ::accept(listener, nullptr, nullptr);
        ::close(listener);
    }
    ~LoopbackPair() {
        if (receiver >= 0) ::close(receiver);
        if (sender >= 0) ::close(sender);
    }
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;
};

}  // namespace kivota::test
