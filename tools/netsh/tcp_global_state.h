#pragma once
// The global TCP state of the Linux stack in the words netsh uses for it.

#include <string>
#include <vector>

namespace kivota::netsh {

struct GlobalParameter {
    std::string label;
    std::string value;
};

// Receive-side scaling (enabled when an interface has more than one receive queue), chimney
// offload, NetDMA and DCA (which Linux does not have: disabled), receive-window auto-tuning
// (normal with tcp_moderate_rcvbuf, else disabled), the congestion-control algorithm, ECN and
// RFC 1323 timestamps; "unknown" for a setting that cannot be read.
std::vector<GlobalParameter> readGlobalParameters();

// The command's report: the header lines, then one "label : value" line per parameter,
// with CRLF line ends.
std::string formatReport(const std::vector<GlobalParameter>& parameters);

}  // namespace kivota::netsh
