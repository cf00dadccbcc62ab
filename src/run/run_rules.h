#pragma once
// The pure decisions of the run sequence: the version gate and the connection-count rules
// derived from the subscriber's contracted rate and the measured latency.

#include <optional>
#include <string>

namespace kivota {

// A server version read as a number and written back in its shortest decimal form
// ("1.00" -> "1", "0.90" -> "0.9"); nullopt when the text is not a finite number.
std::optional<std::string> optNormaliseVersion(const std::string& serverVersion);

// The start decision of the version gate: 1 update required (appVer below the minimum),
// 2 update offered (below the server's version), 3 up to date. Versions are compared as
// byte strings, a prefix sorting first; the server's are normalised beforehand by the caller.
int iVersionDecision(const std::string& appVer, const std::string& verMin, const std::string& verServer);

// Connection counts and socket-buffer overrides of a run.
struct SessionPlan {
    int ulSessions = 0, dlSessions = 0;
    int userSendBuf = 0, userRecvBuf = 0;
};

// The contracted downstream and upstream rates (kbit/s) narrow the plan: slow lines get one
// connection and small buffers, fast lines larger buffers.
void vApplyRateRules(int downKbps, int upKbps, SessionPlan& plan);

// A user_rate value, "down,up" in kbit/s. It applies only when it splits at its commas into
// exactly two parts (applies false otherwise); two parts that are not strict decimal numbers
// make the reply malformed (nullopt).
struct RateParts {
    bool applies = false;
    int downKbps = 0, upKbps = 0;
};
std::optional<RateParts> optParseUserRate(const std::string& userRate);

inline constexpr int kMaxSessions = 20;

// A long round trip: the largest echo above 30 ms and the smallest above 20 ms. Such a line
// uploads over one connection, in smaller send blocks.
inline constexpr bool bLongRoundTrip(int rttMaxMs, int rttMinMs) { return rttMaxMs > 30 && rttMinMs > 20; }

}  // namespace kivota
