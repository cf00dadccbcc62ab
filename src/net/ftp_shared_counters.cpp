#include "net/ftp_shared_counters.h"

#include <linux/sock_diag.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/clock.h"

namespace kivota {

namespace {

// Segments a download must take in order, or the time that must pass, without one out of order
// before its bytes count as in order.
constexpr std::uint32_t kInOrderSegments = 4;
constexpr std::int64_t kInOrderQuietMs = 50;

// The last field the counts read (tcpi_rcv_ooopack came with Linux 5.4).
constexpr std::size_t kTcpInfoNeeded = offsetof(tcp_info, tcpi_rcv_ooopack) + sizeof(tcp_info::tcpi_rcv_ooopack);

// A receiving socket that has read everything in order but still holds receive memory keeps
// segments beyond a hole (its out-of-order queue).
bool bHoldsOutOfOrderData(int fd) {
    std::uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    int unread = 0;
    if (::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, memory, &length) != 0 ||
        length < (SK_MEMINFO_RMEM_ALLOC + 1) * sizeof memory[0] || ::ioctl(fd, SIOCINQ, &unread) != 0) {
        return false;
    }
    return unread == 0 && memory[SK_MEMINFO_RMEM_ALLOC] > 0;
}

}  // namespace

FtpSharedCounters::FtpSharedCounters(TcpInfoReader reader) : reader_(std::move(reader)) {}

int FtpSharedCounters::iSystemTcpInfo(int fd, tcp_info& info, socklen_t& length) {
    return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length);
}

bool FtpSharedCounters::bTcpInfo(int fd, tcp_info& info) const {
    socklen_t length = sizeof info;
    return fd >= 0 && reader_ && reader_(fd, info, length) == 0 && length >= kTcpInfoNeeded;
}

std::int64_t FtpSharedCounters::iKernelPayload(int fd, bool upload) const {
    tcp_info info{};
    if (!bTcpInfo(fd, info)) return -1;
    // Received in order; or what the server has: acknowledged, and the segments it
    // acknowledged selectively beyond a hole (full-sized ones: a sender fills its segments).
    // The handshake counts one byte in the direction without data, which is left out.
    if (!upload) return static_cast<std::int64_t>(info.tcpi_bytes_received);
    return static_cast<std::int64_t>(info.tcpi_bytes_acked) +
           static_cast<std::int64_t>(info.tcpi_sacked) * static_cast<std::int64_t>(info.tcpi_snd_mss);
}

std::int64_t FtpSharedCounters::iReceived(ReceiveMark& mark, std::int64_t inOrderBytes, std::uint32_t dataSegmentsIn,
                                          std::uint32_t segmentSize, bool holdsBeyondHole) {
    if (!holdsBeyondHole) {
        mark = {inOrderBytes, dataSegmentsIn};
        return inOrderBytes;
    }
    // The segment counter wraps; the difference of two readings does not.
    const std::int64_t arrived =
        mark.bytes + static_cast<std::int64_t>(dataSegmentsIn - mark.segments) * static_cast<std::int64_t>(segmentSize);
    return std::max(arrived, inOrderBytes);
}

std::int64_t FtpSharedCounters::iPayload(DataConnection& c) {
    if (c.upload) return iKernelPayload(c.fd, true);
    tcp_info info{};
    if (!bTcpInfo(c.fd, info)) return -1;
    return iReceived(c.inOrder, static_cast<std::int64_t>(info.tcpi_bytes_received), info.tcpi_data_segs_in,
                     info.tcpi_rcv_mss, bHoldsOutOfOrderData(c.fd));
}

void FtpSharedCounters::vRefreshLocked(DataConnection& c) {
    if (c.upload != phaseUpload_) return;  // a late connection of the other phase
    const std::int64_t now = iPayload(c);
    if (now > c.counted) {
        ftpBytesTotal += now - c.counted;
        c.counted = now;
    }
}

void FtpSharedCounters::vSetTotal(std::int64_t value) {
    std::lock_guard lock(ftpLock);
    ftpBytesTotal = value;
    if (value != 0) return;
    for (DataConnection& c : open_) c.counted = std::max<std::int64_t>(iPayload(c), c.counted);
}

void FtpSharedCounters::vStartPhase(bool upload) {
    phaseBegun.store(false);
    {
        std::lock_guard lock(ftpLock);
        phaseUpload_ = upload;
    }
    vSetTotal(0);
}

bool FtpSharedCounters::bReports(const void* client, bool upload) {
    const void* holder = reporter.load();
    if (holder == client) return true;
    if (holder != nullptr || !phaseBegun.load()) return false;
    {
        std::lock_guard lock(ftpLock);
        if (phaseUpload_ != upload) return false;
    }
    return reporter.compare_exchange_strong(holder, client);
}

void FtpSharedCounters::vStopReporting(const void* client) {
    const void* holder = client;
    reporter.compare_exchange_strong(holder, nullptr);
}

bool FtpSharedCounters::bOpenDataConnection(int fd, bool upload) {
    std::lock_guard lock(ftpLock);
    std::erase_if(open_, [fd](const DataConnection& c) { return c.fd == fd; });
    tcp_info probe{};
    if (!bTcpInfo(fd, probe)) return false;
    DataConnection c;
    c.fd = fd;
    c.upload = upload;
    c.counted = std::max<std::int64_t>(iKernelPayload(fd, upload), 0);
    c.sinceMs = iSteadyMs();
    open_.push_back(c);
    return true;
}

std::int64_t FtpSharedCounters::iCloseDataConnection(int fd, std::int64_t appBytes) {
    std::lock_guard lock(ftpLock);
    const auto it = std::find_if(open_.begin(), open_.end(), [fd](const DataConnection& c) { return c.fd == fd; });
    if (it == open_.end()) return 0;
    std::int64_t uncounted = 0;
    if (it->upload == phaseUpload_) {
        const std::int64_t last = std::min(iKernelPayload(fd, it->upload), appBytes);
        if (last > it->counted) {
            ftpBytesTotal += last - it->counted;
            it->counted = last;
        }
        uncounted = std::max<std::int64_t>(appBytes - it->counted, 0);
    }
    open_.erase(it);
    return uncounted;
}

void FtpSharedCounters::vAddDelivered(bool upload, std::int64_t bytes) {
    std::lock_guard lock(ftpLock);
    if (upload == phaseUpload_ && bytes > 0) ftpBytesTotal += bytes;
}

bool FtpSharedCounters::bInOrder() {
    std::lock_guard lock(ftpLock);
    const std::int64_t nowMs = iSteadyMs();
    bool inOrder = true;
    for (DataConnection& c : open_) {
        tcp_info info{};
        if (c.upload != phaseUpload_ || !bTcpInfo(c.fd, info)) continue;
        if (c.upload) continue;  // what the server holds beyond a hole is counted
        // Memory held while nothing in order waits to be read is the queue beyond a hole.
        if (bHoldsOutOfOrderData(c.fd)) {
            inOrder = false;
            continue;
        }
        // While a hole is open every segment that arrives is out of order: in order once some
        // arrived without one, or a while passed without one.
        if (info.tcpi_rcv_ooopack != c.outOfOrder) {
            c.outOfOrder = info.tcpi_rcv_ooopack;
            c.segmentsIn = info.tcpi_data_segs_in;
            c.sinceMs = nowMs;
            inOrder = false;
        } else if (info.tcpi_data_segs_in - c.segmentsIn < kInOrderSegments && nowMs - c.sinceMs < kInOrderQuietMs) {
            inOrder = false;
        }
    }
    return inOrder;
}

std::optional<double> FtpSharedCounters::optKernelRoundTripMs(int fd, bool upload) const {
    tcp_info info{};
    if (!bTcpInfo(fd, info)) return std::nullopt;
    const std::uint32_t us = upload ? info.tcpi_rtt : info.tcpi_rcv_rtt;
    if (us == 0) return std::nullopt;
    return static_cast<double>(us) / 1000.0;
}

void FtpSharedCounters::vKernelRoundTrips(bool upload, std::vector<double>& roundTripsMs) {
    std::lock_guard lock(ftpLock);
    for (const DataConnection& c : open_) {
        if (c.upload != upload) continue;
        if (const auto ms = optKernelRoundTripMs(c.fd, upload)) roundTripsMs.push_back(*ms);
    }
}

std::int64_t FtpSharedCounters::iRefreshFromKernel() {
    std::lock_guard lock(ftpLock);
    for (DataConnection& c : open_) vRefreshLocked(c);
    return ftpBytesTotal;
}

}  // namespace kivota
