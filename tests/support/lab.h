#pragma once
// The lab of scripts/lab as tests see it: whether scripts/test brought it up for this run, the
// testbed's address inside it, the host adapter that leads there and what the testbed stored.

#include <optional>
#include <string>

#include "platform/network_stack.h"
#include "support/testbed_process.h"

namespace kivota::test {

// The testbed's address in the lab (HTTP on 80, FTP on 21).
inline constexpr const char* kLabServer = "198.18.0.2";

// true when the lab is up for this test run (scripts/test sets KIVOTA_LAB).
bool bLabUp();

// true when scripts/test runs as root with the lab up (it sets KIVOTA_LAB_REQUIRED): root,
// network namespaces of our own, ICMP sockets and the lab are all there, so a test that finds
// one missing has found a fault and fails instead of skipping.
bool bLabRequired();

// The interface-table row of the host adapter toward the lab server; -1 when there is none.
int iLabAdapterRow(INetworkStack& net);

// The lab's state directory (KIVOTA_LAB_STATE, else scripts/lab's default).
std::string szLabStateDir();

// Replaces the lab testbed's scenario (empty: the default configuration).
void vSetLabScenario(const std::string& text);

// The payload of a full-sized frame is at most 1448 of its 1514 bytes (0.9564): no accepted
// second may report more FTP payload than that share of what the adapter carried.
inline constexpr double kPayloadShare = 0.957;

// Prints a phase's per-second FTP and adapter rates (the comma-separated kbit/s series of the
// result) side by side and expects every FTP rate at most kPayloadShare of the adapter's, give
// or take what lies between the two counters when a second is sampled: a frame's payload for
// each of the phase's `connections`, and two more (the frames the adapter has counted but TCP
// not yet taken, the segment a peer has not yet acknowledged). Each second may also carry as much
// of the rate from the second before as the later counter may lag behind: an upload counts
// what the server acknowledged, and a server that reads late acknowledges late, up to the least
// delayed-ACK time (40 ms); a download counts what TCP has taken, and a busy machine may defer
// the receive processing of frames the adapter has counted to its softirq thread for some
// milliseconds (up to 7 ms seen beside a build on this 2-core machine; 10 ms allowed).
// Summed from the phase's start, the carries from second to second cancel and the seconds are
// held to the share with that allowance once: the carry into the first second, from before the
// series' baseline. The phase's own rates (`ftpKbps`, `nicKbps`) are held to the same sum.
void vExpectPhaseWithinThePayloadShare(const char* phase, double ftpKbps, double nicKbps, const std::string& ftpSeries,
                                       const std::string& nicSeries, int connections, bool upload);

// The result the lab's testbed stored for the session cookie value `cookieValue`, if any.
std::optional<TestbedResult> optLabResult(const std::string& cookieValue);

}  // namespace kivota::test

// Skips the test without `condition`, or fails it where the condition must hold (bLabRequired).
#define KV_NEEDS(condition, reason)                                \
    if (condition) {                                               \
    } else if (::kivota::test::bLabRequired()) {                   \
        FAIL() << "missing in a run that requires it: " << reason; \
    } else GTEST_SKIP() << reason
