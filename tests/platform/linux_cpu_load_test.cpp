// The per-processor busy share read from /proc/stat, against a processor kept busy on purpose.
// Runs alone (see tests/CMakeLists.txt): other tests running beside it would load the processors.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/linux/linux_system_info.h"
#include "profile/machine_profiler.h"

namespace kivota {
namespace {

// Busy share of one processor while a thread pinned to it spins, against a quiet interval.
TEST(LinuxCpuLoad, ABusyCoreStandsOut) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
    int busyCpu = -1;
    for (int i = 0; i < CPU_SETSIZE && busyCpu < 0; ++i)
        if (CPU_ISSET(i, &allowed)) busyCpu = i;
    ASSERT_GE(busyCpu, 0);

    auto system = makeLinuxSystemInfo();
    MachineProfile rs;
    rs.coreCount = system->onlineProcessors();
    MachineProfiler profiler(system, nullptr, "", "", "");
    profiler.vOpenCpuQueries(rs);

    // The load is a rate over the interval between two collections, so each interval must last.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    profiler.vGetSystemResource(rs);
    const ResourceSums idle = rs.resources.snapshot();
    const double idleTotal = idle.cpuLoadSum;
    const std::vector<double> idleCores = idle.coreLoadSums;

    std::atomic<bool> stop{false};
    std::thread spinner([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(busyCpu, &one);
        ::pthread_setaffinity_np(::pthread_self(), sizeof one, &one);
        volatile std::uint64_t n = 0;
        while (!stop.load(std::memory_order_relaxed)) n = n + 1;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    profiler.vGetSystemResource(rs);
    stop = true;
    spinner.join();
    profiler.vCloseCpuQueries();

    const ResourceSums busy = rs.resources.snapshot();
    const double busyTotal = busy.cpuLoadSum - idleTotal;
    EXPECT_GE(busyTotal, 80.0 / rs.coreCount);
    double busyCore = busyTotal, idleCore = idleTotal;
    if (rs.coreCount > 1) {
        const auto k = static_cast<std::size_t>(busyCpu);
        ASSERT_GT(busy.coreLoadSums.size(), k);
        busyCore = busy.coreLoadSums[k] - idleCores[k];
        idleCore = idleCores[k];
    }
    EXPECT_GE(busyCore, 85.0);
    // Against the quiet interval only when neither the machine nor the chosen core was already
    // busy with other work: a core that was 80 % busy cannot stand out by 25 points.
    if (idleTotal > 60.0 || idleCore > 60.0)
        GTEST_SKIP() << "the machine was already busy (" << idleTotal << " % in all, " << idleCore << " % on processor "
                     << busyCpu << ")";
    EXPECT_GT(busyTotal, idleTotal + 25.0 / rs.coreCount);
    EXPECT_GT(busyCore, idleCore + 25.0);
}

}  // namespace
}  // namespace kivota
