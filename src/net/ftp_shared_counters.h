#pragma once
// The byte counter that all FTP connections of a phase add to, and the rate bookkeeping of the
// phase's first connection. There is one set for the whole program: phases never overlap.

#include <cstdint>
#include <mutex>

namespace kivota {

struct FtpSharedCounters {
    // Guards ftpBytesTotal: every connection of the phase adds to it at each work event.
    std::mutex ftpLock;
    std::int64_t ftpBytesTotal = 0;

    // Written by the phase's first connection alone (on its transfer thread).
    std::int64_t ftpBytesAtSample = 0;
    std::int64_t ftpElapsedMs = 0;

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
    void vSetTotal(std::int64_t value) {
        std::lock_guard lock(ftpLock);
        ftpBytesTotal = value;
    }
};

// The program's one set. Never destroyed, so a transfer thread that ends late can still count.
FtpSharedCounters& ftpSharedCounters();

}  // namespace kivota
