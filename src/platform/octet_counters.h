#pragma once
// Reading the tested adapter's octet counters: the measurement compares the FTP payload rate
// with what the adapter itself received and sent.

#include <cstdint>
#include <optional>

namespace kivota {

struct OctetCounters {
    std::uint64_t inOctets = 0;   // received since an arbitrary start (kernel 64-bit counter)
    std::uint64_t outOctets = 0;  // sent
};

class IOctetCounterSource {
public:
    virtual ~IOctetCounterSource() = default;
    // A fresh snapshot of row `adapterRow` of the interface table; nullopt when the table
    // cannot be read or has no such row. Safe to call from any thread.
    virtual std::optional<OctetCounters> sample(int adapterRow) = 0;
};

}  // namespace kivota
