// The client's own data path over a real loopback TCP connection: a download is read to its
// end without its bytes reaching user space, a refusal stops it at once, an upload's block
// arrives intact over and over from where it was left, and a connection that can no longer be
// written ends an upload without the signal that would end the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net/ftp_data_pump.h"
#include "support/loopback_pair.h"

using namespace kivota;

namespace {

void vNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Runs passes until the pump ends or refuses, bounded.
FtpDataPump::Pass eRunToEnd(FtpDataPump& pump) {
    for (int i = 0; i < 100000; ++i) {
        const FtpDataPump::Pass pass = pump.ePass(100);
        if (pass != FtpDataPump::Pass::Going) return pass;
    }
    return FtpDataPump::Pass::Going;
}

}  // namespace

TEST(FtpDataPump, ADownloadIsReadToItsEndInReadsOfAtMostTheReadSize) {
    test::LoopbackPair pair;
    vNonBlocking(pair.receiver);
    constexpr std::size_t kTotal = 5'000'000, kReadSize = 65536;
    std::thread server([&] {
        const std::string chunk(100'000, 'x');
        for (std::size_t sent = 0; sent < kTotal; sent += chunk.size()) {
            ASSERT_EQ(::send(pair.sender, chunk.data(), chunk.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(chunk.size()));
        }
        ::shutdown(pair.sender, SHUT_WR);
    });
    FtpDataPump pump;
    std::size_t told = 0, largest = 0;
    ASSERT_TRUE(pump.bStartDownload(pair.receiver, kReadSize, [&](std::size_t n) {
        told += n;
        largest = std::max(largest, n);
        return true;
    }));
    EXPECT_EQ(eRunToEnd(pump), FtpDataPump::Pass::Ended);
    server.join();
    EXPECT_EQ(told, kTotal);
    EXPECT_EQ(pump.iMoved(), static_cast<std::int64_t>(kTotal));
    EXPECT_LE(largest, kReadSize);
    // What the handler is told is all there was: nothing is left for libcurl to read.
    char rest = 0;
    EXPECT_EQ(::recv(pair.receiver, &rest, 1, MSG_DONTWAIT), 0);
}

TEST(FtpDataPump, ARefusedReadStopsThePumpAndLeavesTheRest) {
    test::LoopbackPair pair;
    vNonBlocking(pair.receiver);
    const std::string data(200'000, 'y');
    ASSERT_EQ(::send(pair.sender, data.data(), data.size(), MSG_NOSIGNAL), static_cast<ssize_t>(data.size()));
    FtpDataPump pump;
    int calls = 0;
    ASSERT_TRUE(pump.bStartDownload(pair.receiver, 16384, [&](std::size_t) { return ++calls < 2; }));
    EXPECT_EQ(eRunToEnd(pump), FtpDataPump::Pass::Refused);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(pump.iMoved(), 2 * 16384);
}

TEST(FtpDataPump, TheUploadBlockArrivesIntactFromItsOffsetUntilItIsToEnd) {
    test::LoopbackPair pair;
    vNonBlocking(pair.sender);
    std::string block;
    for (int i = 0; i < 8000; ++i) block += static_cast<char>('a' + i % 26);
    constexpr std::size_t kOffset = 3000;
    constexpr std::int64_t kAtLeast = 3'000'000;
    std::string received;
    std::thread server([&] {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(pair.receiver, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    FtpDataPump pump;
    ASSERT_TRUE(pump.bStartUpload(pair.sender, block, kOffset, [&] { return pump.iMoved() < kAtLeast; }));
    EXPECT_EQ(eRunToEnd(pump), FtpDataPump::Pass::Ended);
    const std::int64_t moved = pump.iMoved();
    ::shutdown(pair.sender, SHUT_WR);
    server.join();
    EXPECT_GE(moved, kAtLeast);
    ASSERT_EQ(static_cast<std::int64_t>(received.size()), moved);
    std::size_t mismatch = received.size();
    for (std::size_t i = 0; i < received.size() && mismatch == received.size(); ++i) {
        if (received[i] != block[(kOffset + i) % block.size()]) mismatch = i;
    }
    EXPECT_EQ(mismatch, received.size()) << "first byte out of the block's sequence";

    // A later upload of another block does not send the old one.
    test::LoopbackPair second;
    vNonBlocking(second.sender);
    int passes = 0;
    ASSERT_TRUE(pump.bStartUpload(second.sender, "0123456789", 0, [&] { return pump.iMoved() < 10; }));
    while (pump.ePass(100) == FtpDataPump::Pass::Going && ++passes < 100) {
    }
    char head[10] = {};
    ASSERT_EQ(::recv(second.receiver, head, sizeof head, MSG_WAITALL), 10);
    EXPECT_EQ(std::string(head, 10), "0123456789");
}

TEST(FtpDataPump, AWriteOnAConnectionThatWasShutEndsTheUploadWithoutSigpipe) {
    // The default action of SIGPIPE ends the program: this test dies if the pump lets it through.
    struct sigaction before {};
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &byDefault, &before);
    {
        test::LoopbackPair pair;
        vNonBlocking(pair.sender);
        FtpDataPump pump;
        ASSERT_TRUE(pump.bStartUpload(pair.sender, std::string(32768, '*'), 0, [] { return true; }));
        ::shutdown(pair.sender, SHUT_WR);  // the next write fails with EPIPE
        EXPECT_EQ(eRunToEnd(pump), FtpDataPump::Pass::Ended);
        EXPECT_EQ(pump.iMoved(), 0);
        sigset_t pending;
        sigpending(&pending);
        EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    }
    sigaction(SIGPIPE, &before, nullptr);
}

TEST(FtpDataPump, OnlyAConnectedStreamIsTakenOver) {
    FtpDataPump pump;
    const int unconnected = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_FALSE(pump.bStartDownload(unconnected, 4096, [](std::size_t) { return true; }));
    EXPECT_FALSE(pump.bStartUpload(unconnected, "*", 0, [] { return true; }));
    EXPECT_FALSE(pump.bStartDownload(-1, 4096, [](std::size_t) { return true; }));
    EXPECT_FALSE(pump.bActive());
    ::close(unconnected);
    test::LoopbackPair pair;
    EXPECT_FALSE(pump.bStartUpload(pair.sender, "", 0, [] { return true; }));
    EXPECT_TRUE(pump.bStartDownload(pair.receiver, 4096, [](std::size_t) { return true; }));
    EXPECT_TRUE(pump.bActive());
    pump.vStop();
    EXPECT_FALSE(pump.bActive());
}
