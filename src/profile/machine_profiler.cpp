#include "profile/machine_profiler.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "profile/adapter_survey.h"
#include "profile/netsh_state.h"
#include "profile/tcp_settings.h"

namespace kivota {

namespace {

constexpr std::uint64_t kMiB = 1u << 20;

std::string decimalText(int value) { return std::to_string(value); }

// "%u" of the MTU, except the all-ones value of an unknown MTU, which is written -1.
std::string mtuTextOf(std::uint32_t mtu) { return mtu == 0xFFFFFFFFu ? std::string("-1") : std::to_string(mtu); }

}  // namespace

MachineProfiler::MachineProfiler(std::shared_ptr<ISystemInfo> system, std::shared_ptr<INetworkStack> net,
                                 std::string netshDir, std::string referenceAddress1, std::string referenceAddress2)
    : system_(std::move(system)),
      net_(std::move(net)),
      netshDir_(std::move(netshDir)),
      referenceAddress1_(std::move(referenceAddress1)),
      referenceAddress2_(std::move(referenceAddress2)) {}

void MachineProfiler::vGetSystemInfo(MachineProfile& profile) {
    if (const auto version = system_->osVersion(); version && version->major >= 6) isVistaOrLater = true;

    if (net_) vGetIpHlpInfo(profile, *net_, referenceAddress1_, referenceAddress2_, isVistaOrLater);
    vGetRegistryInfo(profile, *system_->registry(), isVistaOrLater, iEnableWsd);

    if (const auto memory = system_->memoryStatus()) profile.memTotalMb = static_cast<int>(memory->totalBytes / kMiB);

    profile.powerStatus = "null";
    if (const auto power = system_->powerStatus()) {
        profile.powerStatus = std::to_string(static_cast<unsigned>(power->acLineStatus)) + "," +
                              std::to_string(static_cast<unsigned>(power->batteryFlag));
    }

    if (isVistaOrLater) vGetNetshState(szNetshState, netshDir_);
    else szNetshState = kNetshUnknownState;

    profile.tcp1323OptsText = decimalText(profile.tcp1323Opts);
    profile.globalMaxTcpWindowSizeText = decimalText(profile.globalMaxTcpWindowSize);
    profile.tcpWindowSizeText = decimalText(profile.tcpWindowSize);
    profile.enablePmtuDiscoveryText = decimalText(profile.enablePmtuDiscovery);
    profile.mtuText = mtuTextOf(profile.mtu);
    profile.defaultReceiveWindowsText = decimalText(profile.defaultReceiveWindows);

    // The receive window comes before the PMTU setting here, unlike the texts above.
    profile.netParameter = profile.tcp1323OptsText + "," + profile.globalMaxTcpWindowSizeText + "," +
                           profile.tcpWindowSizeText + "," + profile.defaultReceiveWindowsText + "," +
                           profile.enablePmtuDiscoveryText + "," + profile.mtuText + "," + std::to_string(iEnableWsd) +
                           "," + szNetshState;

    if (!profile.systemDrive.empty()) {
        if (const auto freeBytes = system_->diskFreeBytes(profile.systemDrive + "\\"))
            profile.diskFreeGb = static_cast<float>(std::ldexp(static_cast<double>(*freeBytes), -30));
    }
}

void MachineProfiler::vOpenCpuQueries(MachineProfile& profile) {
    const auto times = system_->cpuTimes();
    cpuCounter_ = std::make_unique<CpuLoadCounter>(CpuLoadCounter::kAllProcessors);
    cpuCounter_->collect(times);
    if (profile.coreCount > 1) {
        profile.resources.vCountCores(static_cast<std::size_t>(profile.coreCount));
        coreCounters_.clear();
        for (int i = 0; i < profile.coreCount; ++i) {
            coreCounters_.emplace_back(i);
            coreCounters_.back().collect(times);
        }
    }
}

void MachineProfiler::vGetSystemResource(MachineProfile& profile) {
    const auto times = system_->cpuTimes();
    if (cpuCounter_) {
        cpuCounter_->collect(times);
        cpuCounter_->value(counterValue_);
    }
    const double cpuLoad = counterValue_;

    std::vector<double> coreLoads;
    if (profile.coreCount > 1) {
        for (auto& counter : coreCounters_) {
            counter.collect(times);
            counter.value(counterValue_);
            coreLoads.push_back(counterValue_);
        }
    }

    std::optional<int> memFreeMb;
    if (const auto memory = system_->memoryStatus()) memFreeMb = static_cast<int>(memory->availableBytes / kMiB);
    profile.resources.vAddSample(cpuLoad, coreLoads, memFreeMb);
}

void MachineProfiler::vCloseCpuQueries() {
    cpuCounter_.reset();
    coreCounters_.clear();
}

}  // namespace kivota
