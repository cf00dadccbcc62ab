// The shared counter's kernel counts over a real loopback TCP connection: what was received
// counts at the sample, a phase start leaves out what came before, a connection of the other
// direction is not counted, and the last count of a closing connection is at most what the
// application took; a kernel whose TCP_INFO lacks the counts leaves the connection to the
// transfer's own count.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string>

#include "net/ftp_shared_counters.h"
#include "support/loopback_pair.h"

using namespace kivota;

namespace {

// The loopback pair whose `receiver` is the counted socket.
struct CountedPair : test::LoopbackPair {
    // Sends n bytes and waits until the receiver's kernel has them all; nothing reads them.
    void vSend(std::size_t n) const {
        const std::string data(n, '*');
        ASSERT_EQ(::send(sender, data.data(), n, 0), static_cast<ssize_t>(n));
        while (kernel.iKernelPayload(receiver, false) < static_cast<std::int64_t>(received + n)) {
            ::usleep(1000);
        }
        received += n;
    }
    mutable std::size_t received = 0;
    FtpSharedCounters kernel;  // reads what the kernel counted
};

}  // namespace

TEST(FtpKernelCounts, SampleCountsWhatTheKernelReceivedSincePhaseStart) {
    FtpSharedCounters counters;
    CountedPair pair;
    counters.vStartPhase(false);
    ASSERT_TRUE(counters.bOpenDataConnection(pair.receiver, false));
    pair.vSend(3000);
    EXPECT_EQ(counters.iTotal(), 0);  // events of a kernel-counted socket do not add
    EXPECT_EQ(counters.iRefreshFromKernel(), 3000);

    // A new phase of the same direction leaves out what the open connection moved before it.
    counters.vStartPhase(false);
    pair.vSend(500);
    EXPECT_EQ(counters.iRefreshFromKernel(), 500);

    // An upload phase does not count a download connection that is still open.
    counters.vStartPhase(true);
    pair.vSend(700);
    EXPECT_EQ(counters.iRefreshFromKernel(), 0);
}

TEST(FtpKernelCounts, ClosingAddsTheLastCountButNoMoreThanTheApplicationTook) {
    FtpSharedCounters counters;
    counters.vStartPhase(false);
    {
        CountedPair pair;
        ASSERT_TRUE(counters.bOpenDataConnection(pair.receiver, false));
        pair.vSend(4000);
        // Closed before a sample: the kernel has 4000, the application took 2500 of them.
        EXPECT_EQ(counters.iCloseDataConnection(pair.receiver, 2500), 0);
        EXPECT_EQ(counters.iRefreshFromKernel(), 2500);
    }
    {
        CountedPair pair;
        ASSERT_TRUE(counters.bOpenDataConnection(pair.receiver, false));
        pair.vSend(1000);
        EXPECT_EQ(counters.iRefreshFromKernel(), 3500);
        pair.vSend(1000);
        counters.iCloseDataConnection(pair.receiver, 2000);
        EXPECT_EQ(counters.iTotal(), 4500);
        // Once closed the socket is no longer read, whatever its descriptor becomes.
        EXPECT_EQ(counters.iRefreshFromKernel(), 4500);
    }
}

TEST(FtpKernelCounts, SegmentsBeyondAHoleCountWhenTheyArrive) {
    using Mark = FtpSharedCounters::ReceiveMark;
    Mark mark;
    // In order: the count is the bytes in order, and the mark follows them.
    EXPECT_EQ(FtpSharedCounters::iReceived(mark, 14480, 10, 1448, false), 14480);
    EXPECT_EQ(mark.bytes, 14480);
    EXPECT_EQ(mark.segments, 10u);

    // One segment lost, four after it wait beyond the hole: they count, the mark stays.
    EXPECT_EQ(FtpSharedCounters::iReceived(mark, 14480, 14, 1448, true), 14480 + 4 * 1448);
    EXPECT_EQ(mark.segments, 10u);
    // The retransmission fills the hole: five segments more in order, the same total plus one.
    EXPECT_EQ(FtpSharedCounters::iReceived(mark, 14480 + 5 * 1448, 15, 1448, false), 14480 + 5 * 1448);
    EXPECT_EQ(mark.segments, 15u);

    // Never less than what is in order (segments shorter than the full size).
    EXPECT_EQ(FtpSharedCounters::iReceived(mark, 14480 + 7 * 1448, 16, 1448, true), 14480 + 7 * 1448);

    // The kernel's segment counter wraps.
    Mark nearWrap{1000, 0xFFFFFFFEu};
    EXPECT_EQ(FtpSharedCounters::iReceived(nearWrap, 1000, 2, 1448, true), 1000 + 4 * 1448);
}

// An upload's bytes still queued when its data connection closes are not lost: they count when
// the server confirms the STOR, and only in an upload phase.
TEST(FtpKernelCounts, AnUploadsQueuedBytesCountWhenTheServerConfirms) {
    FtpSharedCounters counters;
    CountedPair pair;
    counters.vStartPhase(true);
    ASSERT_TRUE(counters.bOpenDataConnection(pair.sender, true));
    // Nothing reads: once the receiver's window is full the rest waits in the sender's queue.
    ASSERT_EQ(::fcntl(pair.sender, F_SETFL, ::fcntl(pair.sender, F_GETFL) | O_NONBLOCK), 0);
    const std::string block(65536, '*');
    std::int64_t handedOver = 0;
    for (ssize_t n; (n = ::send(pair.sender, block.data(), block.size(), MSG_NOSIGNAL)) > 0;) handedOver += n;
    ASSERT_GT(handedOver, 0);

    const std::int64_t uncounted = counters.iCloseDataConnection(pair.sender, handedOver);
    EXPECT_GT(uncounted, 0);
    EXPECT_EQ(counters.iTotal() + uncounted, handedOver);
    counters.vAddDelivered(true, uncounted);
    EXPECT_EQ(counters.iTotal(), handedOver);

    // A confirmation that comes after the download phase began adds nothing to it.
    counters.vStartPhase(false);
    counters.vAddDelivered(true, 1000);
    EXPECT_EQ(counters.iTotal(), 0);
}

namespace {

// TCP_INFO as kernels without the counts' fields give it: cut before the last field the counts
// read (Linux 5.3), before the byte counters (before 4.1), or refused outright.
int iCutBeforeOutOfOrderCount(int fd, tcp_info& info, socklen_t& length) {
    const int rc = FtpSharedCounters::iSystemTcpInfo(fd, info, length);
    length = std::min<socklen_t>(length, offsetof(tcp_info, tcpi_rcv_ooopack));
    return rc;
}
int iCutBeforeByteCounts(int fd, tcp_info& info, socklen_t& length) {
    const int rc = FtpSharedCounters::iSystemTcpInfo(fd, info, length);
    length = std::min<socklen_t>(length, offsetof(tcp_info, tcpi_bytes_acked));
    return rc;
}
int iRefused(int, tcp_info&, socklen_t&) {
    errno = ENOPROTOOPT;
    return -1;
}

class FtpKernelCountsMissing : public testing::TestWithParam<int (*)(int, tcp_info&, socklen_t&)> {};

// A data connection whose kernel cannot count is not watched: what arrives on it counts only
// through the transfer's own events, so nothing is lost or counted twice.
TEST_P(FtpKernelCountsMissing, TheConnectionIsLeftToTheTransfersOwnCount) {
    FtpSharedCounters counters(GetParam());
    CountedPair pair;
    counters.vStartPhase(false);
    EXPECT_FALSE(counters.bOpenDataConnection(pair.receiver, false));
    EXPECT_EQ(counters.iKernelPayload(pair.receiver, false), -1);
    pair.vSend(3000);
    EXPECT_EQ(counters.iRefreshFromKernel(), 0);
    EXPECT_EQ(counters.iAdd(3000), 3000);
    EXPECT_EQ(counters.iRefreshFromKernel(), 3000);
    EXPECT_TRUE(counters.bInOrder());
    EXPECT_EQ(counters.iCloseDataConnection(pair.receiver, 3000), 0);
    EXPECT_EQ(counters.iTotal(), 3000);
}

INSTANTIATE_TEST_SUITE_P(Kernels, FtpKernelCountsMissing,
                         testing::Values(&iCutBeforeOutOfOrderCount, &iCutBeforeByteCounts, &iRefused));

}  // namespace
