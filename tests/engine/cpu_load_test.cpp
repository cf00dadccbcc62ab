// CPU-load sampling: the busy share between two collections, one-core machines, failed
// readings that add the last value again, and the parsing of /proc/stat.
#include <gtest/gtest.h>

#include "platform/linux/proc_stat_cpu.h"
#include "profile/cpu_load.h"
#include "profile/machine_profiler.h"
#include "support/fake_system_info.h"

namespace kivota {
namespace {

using test::FakeSystemInfo;

TEST(CpuLoadCounter, BusyShareBetweenTheLastTwoCollections) {
    CpuLoadCounter total(CpuLoadCounter::kAllProcessors);
    double value = -1;
    CpuTimes t;
    t.all = {100, 1000};
    total.collect(t);
    EXPECT_FALSE(total.value(value));
    t.all = {150, 1100};
    total.collect(t);
    ASSERT_TRUE(total.value(value));
    EXPECT_DOUBLE_EQ(value, 50.0);
    total.collect(t);  // no time passed: no value
    EXPECT_FALSE(total.value(value));
}

class CpuSampling : public testing::Test {
protected:
    std::shared_ptr<FakeSystemInfo> system = std::make_shared<FakeSystemInfo>();
    MachineProfiler profiler{system, nullptr, "", "", ""};
    MachineProfile rs;
};

TEST_F(CpuSampling, TotalAndPerCoreSumsAndFreeMemory) {
    rs.coreCount = 2;
    system->memory = MemoryStatus{8ull << 30, (512ull << 20) + 1000};
    system->queueCpuTimes({0, 0}, {{0, 0}, {0, 0}});
    system->queueCpuTimes({100, 200}, {{90, 100}, {10, 100}});
    system->queueCpuTimes({200, 400}, {{190, 200}, {10, 200}});
    profiler.vOpenCpuQueries(rs);
    ASSERT_EQ(rs.resources.snapshot().coreLoadSums.size(), 2u);
    profiler.vGetSystemResource(rs);
    profiler.vGetSystemResource(rs);
    const ResourceSums sums = rs.resources.snapshot();
    EXPECT_EQ(sums.resourceSamples, 2);
    EXPECT_DOUBLE_EQ(sums.cpuLoadSum, 100.0);
    EXPECT_DOUBLE_EQ(sums.coreLoadSums[0], 190.0);
    EXPECT_DOUBLE_EQ(sums.coreLoadSums[1], 10.0);
    EXPECT_EQ(sums.memFreeSumMb, 1024);
}

TEST_F(CpuSampling, OneCoreOpensNoPerCoreQueries) {
    rs.coreCount = 1;
    system->queueCpuTimes({0, 0}, {{0, 0}});
    system->queueCpuTimes({30, 100}, {{30, 100}});
    profiler.vOpenCpuQueries(rs);
    profiler.vGetSystemResource(rs);
    EXPECT_TRUE(rs.resources.snapshot().coreLoadSums.empty());
    EXPECT_DOUBLE_EQ(rs.resources.snapshot().cpuLoadSum, 30.0);
}

TEST_F(CpuSampling, AFailedReadingAddsTheLastValueAgain) {
    rs.coreCount = 1;
    system->queueCpuTimes({0, 0});
    system->queueCpuTimes({25, 100});
    system->queueFailedCpuReading();
    profiler.vOpenCpuQueries(rs);
    profiler.vGetSystemResource(rs);
    profiler.vGetSystemResource(rs);
    EXPECT_DOUBLE_EQ(rs.resources.snapshot().cpuLoadSum, 50.0);
}

TEST(ProcStat, BusyCountsEverythingButIdleAndIoWait) {
    const std::string text =
        "cpu  100 5 50 1000 20 3 2 7 40 0\n"
        "cpu0 60 5 20 500 10 3 2 7 40 0\n"
        "cpu2 40 0 30 500 10 0 0 0 0 0\n"
        "intr 12345\n";
    const auto times = parseProcStat(text);
    ASSERT_TRUE(times.has_value());
    EXPECT_EQ(times->all.busy, 167u);  // guest (40) is already part of user
    EXPECT_EQ(times->all.total, 1187u);
    ASSERT_EQ(times->perCpu.size(), 3u);
    EXPECT_TRUE(times->perCpu[0].has_value());
    EXPECT_FALSE(times->perCpu[1].has_value());  // offline
    EXPECT_EQ(times->perCpu[2]->busy, 70u);
    EXPECT_FALSE(parseProcStat("intr 1\n").has_value());
}

}  // namespace
}  // namespace kivota
