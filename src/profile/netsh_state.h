#pragma once
// The global TCP parameters of "netsh int tcp show global": receive-side scaling, chimney
// offload, receive-window auto-tuning, add-on congestion control, NetDMA, direct cache access
// and RFC 1323 timestamps, each coded as a small integer (-1 when its line is missing), in
// English or Traditional Chinese labels.

#include <string>
#include <string_view>

namespace kivota {

inline constexpr const char* kNetshCommandLine = "netsh int tcp show global";
inline constexpr std::size_t kNetshOutputLimit = 4196;  // bytes of output that are parsed
inline constexpr const char* kNetshUnknownState = "-1,-1,-1,-1,-1,-1,-1";

// The seven codes as "%d,%d,%d,%d,%d,%d,%d" from the command's (decoded) output: four header
// lines are skipped, then each "label : value" line is classified.
std::string szParseNetshState(std::string_view text);

// The command's bytes as UTF-8: text that is already UTF-8 (a sequence cut by the byte limit
// at the very end included) stays as it is; anything else is read as code page 950.
std::string szDecodeCommandOutput(const std::string& bytes);

// Runs the program's own netsh helper in netshDir (never one found elsewhere) and sets
// szNetshState from its output; leaves szNetshState alone when it cannot be started.
void vGetNetshState(std::string& szNetshState, const std::string& netshDir);

}  // namespace kivota
