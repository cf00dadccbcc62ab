#pragma once
// The byte counter that all FTP connections of a phase add to, and the rate bookkeeping of the
// phase's first connection. There is one set for the whole program: phases never overlap.
//
// Where a connection's data travels over a TCP socket, its bytes are those the kernel counts on
// that socket: received, in order or held beyond a hole (download), or held by the server,
// acknowledged or selectively acknowledged beyond a hole (upload). They are
// read for every open data connection at once when the first connection samples the rate, so
// that the total and the adapter's counters, read right after, describe the same moment; a
// count taken from each connection's own events would be as old as its last event.
//
// A kernel whose TCP_INFO is shorter than the fields these counts need (before 5.4, or a
// sandboxed one), or fails, gives no such counts: each data connection is probed when it opens,
// and one the kernel cannot count counts what its transfer reads and writes instead (its work
// events, see FtpClient::eWork).

#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

struct tcp_info;

namespace kivota {

// Reads a socket's TCP_INFO as getsockopt does: 0 with `length` set to the bytes filled, or -1.
using TcpInfoReader = std::function<int(int fd, tcp_info& info, socklen_t& length)>;

struct FtpSharedCounters {
    // `reader` reads the data sockets' TCP_INFO; the default asks the kernel.
    explicit FtpSharedCounters(TcpInfoReader reader = iSystemTcpInfo);

    // Guards ftpBytesTotal and the open data connections.
    std::mutex ftpLock;
    std::int64_t ftpBytesTotal = 0;

    // The connection that samples the rate and reports: the phase's first, and once its
    // transfer has ended, the next connection of the phase still transferring; null while none
    // does. Only the reporter writes the fields below (on its transfer thread); the role passes
    // by the atomic, which orders one reporter's last writes before the next one's first.
    std::atomic<const void*> reporter{nullptr};
    std::int64_t ftpBytesAtSample = 0;
    std::int64_t ftpElapsedMs = 0;
    std::int64_t phaseStartMark = 0, lastSampleMark = 0;  // clock marks of the phase's start and last sample
    // Set once the phase's first connection has begun its transfer and marked the phase's
    // start; until then no other connection may take the role (its marks would be stale).
    std::atomic<bool> phaseBegun{false};

    // Whether `client` reports (taking the role when nobody holds it); it must transfer in the
    // phase's direction.
    bool bReports(const void* client, bool upload);
    // `client`'s transfer ended: the role is free for the next connection.
    void vStopReporting(const void* client);

    // Adds `delta` under the lock and returns the new total (one locked operation per event).
    std::int64_t iAdd(std::int64_t delta) {
        std::lock_guard lock(ftpLock);
        ftpBytesTotal += delta;
        return ftpBytesTotal;
    }
    std::int64_t iTotal() {
        std::lock_guard lock(ftpLock);
        return ftpBytesTotal;
    }
    // Sets the total; 0 starts a phase's count afresh (of the direction given), and what the
    // open data connections of that direction moved so far is left out of it.
    void vSetTotal(std::int64_t value);
    void vStartPhase(bool upload);

    // A data connection opened (socket `fd`, not yet connected) for a transfer in the direction
    // given. True when the kernel counts its bytes, which are added from now on; false when it
    // cannot (the connection is not watched, and its transfer adds its own bytes).
    bool bOpenDataConnection(int fd, bool upload);
    // The data connection closes (called before the socket is closed): its last count is
    // added, at most `appBytes`, what the application itself took or handed over on it (the
    // kernel counts a FIN as one byte). Returns what of `appBytes` stays uncounted: an upload's
    // bytes still on their way to the server.
    std::int64_t iCloseDataConnection(int fd, std::int64_t appBytes);
    // The server confirmed a transfer whole (an upload's 226): `bytes` it had not yet
    // acknowledged at the close count now, if the phase of that direction still runs.
    void vAddDelivered(bool upload, std::int64_t bytes);
    // Brings the total up to what the kernel has counted on every open data connection of the
    // phase's direction and returns it.
    std::int64_t iRefreshFromKernel();

    // Whether every open download connection of the phase has its bytes in order (no segment
    // arrived out of order lately). Bytes beyond a hole have crossed the adapter; while the
    // hole is open they count as full segments (iReceived), exactly only once it is filled, so
    // a sample is best taken then.
    bool bInOrder();

    // Appends the kernel's smoothed round trip (ms) of every open data connection of the
    // direction given, read under the lock, so that none closes while it is read.
    void vKernelRoundTrips(bool upload, std::vector<double>& roundTripsMs);
    // The kernel's smoothed round trip of a TCP socket in ms; nullopt before it has one. A
    // sending socket times the acknowledgements of its data (tcpi_rtt); a socket that only
    // receives has acknowledged nothing since its handshake, so its own estimate is the one
    // it forms from the peer's data (tcpi_rcv_rtt).
    std::optional<double> optKernelRoundTripMs(int fd, bool upload) const;

    // Payload bytes the kernel has counted on a TCP socket: held by the peer (upload) or
    // received in order (download); -1 when it cannot be read.
    std::int64_t iKernelPayload(int fd, bool upload) const;

    // getsockopt(TCP_INFO).
    static int iSystemTcpInfo(int fd, tcp_info& info, socklen_t& length);

    // Where a download connection stood when nothing of it waited beyond a hole: its bytes in
    // order and its data segments in.
    struct ReceiveMark {
        std::int64_t bytes = 0;
        std::uint32_t segments = 0;
    };
    // What a download connection has received: in order, or, while segments wait beyond a hole
    // (`holdsBeyondHole`), the bytes of the mark and one full segment (`segmentSize`) for each
    // data segment in since it. Segments beyond a hole have crossed the adapter already; left
    // out, they would count in the second their hole is filled. The mark moves whenever
    // nothing is held.
    static std::int64_t iReceived(ReceiveMark& mark, std::int64_t inOrderBytes, std::uint32_t dataSegmentsIn,
                                  std::uint32_t segmentSize, bool holdsBeyondHole);

private:
    struct DataConnection {
        int fd = -1;
        bool upload = false;
        std::int64_t counted = 0;  // kernel bytes already in ftpBytesTotal or left out of it
        // A download's segments taken out of order, and its data segments, when the count of
        // those out of order last changed (steady milliseconds).
        std::uint32_t outOfOrder = 0;
        std::uint32_t segmentsIn = 0;
        std::int64_t sinceMs = 0;
        ReceiveMark inOrder;
    };
    // The socket's TCP_INFO, with every field the counts read.
    bool bTcpInfo(int fd, tcp_info& info) const;
    std::int64_t iPayload(DataConnection& c);
    void vRefreshLocked(DataConnection& c);
    TcpInfoReader reader_;
    std::vector<DataConnection> open_;
    bool phaseUpload_ = false;
};

// The program's one set. Never destroyed, so a transfer thread that ends late can still count.
FtpSharedCounters& ftpSharedCounters();

}  // namespace kivota
