// The once-per-program facts from the management service, and the window's profile step:
// service pack, antivirus namespace by version, product lists, processor count, free space,
// failures that end the step, the combined TCP text, power and disk.
#include <gtest/gtest.h>

#include "profile/machine_profiler.h"
#include "profile/system_facts.h"
#include "support/fake_management.h"
#include "support/fake_system_info.h"

namespace kivota {
namespace {

using test::FakeManagementService;
using test::FakeObject;
using test::FakeSystemInfo;

class WmiFacts : public testing::Test {
protected:
    FakeManagementService wmi;
    FakeSystemInfo system;
    MachineProfile rs;
    bool isVistaOrLater = false;

    void SetUp() override {
        wmi.addObject(kCimv2Namespace, "Win32_OperatingSystem",
                      FakeObject()
                          .text("Caption", "Debian GNU/Linux 12 (bookworm)")
                          .null("CSDVersion")
                          .text("SystemDrive", "/")
                          .text("Version", "6.1.0"));
        wmi.addObject(kCimv2Namespace, "Win32_Processor",
                      FakeObject().text("Name", "Test CPU").integer("NumberOfLogicalProcessors", 4));
        wmi.addClass(kCimv2Namespace, "Win32_QuickFixEngineering");
        wmi.addObject(kCimv2Namespace, "Win32_LogicalDisk",
                      FakeObject().text("Caption", "/boot").text("FreeSpace", "1073741824"));
        wmi.addObject(kCimv2Namespace, "Win32_LogicalDisk",
                      FakeObject().text("Caption", "/").text("FreeSpace", "8589934592"));
        wmi.addClass("root\\SecurityCenter", "AntiVirusProduct");
        wmi.addClass("root\\SecurityCenter2", "AntiVirusProduct");
        system.online = 2;
    }

    void gather() { vGatherWmiFacts(rs, wmi, system, isVistaOrLater); }

    std::vector<std::string> antivirusNamespaces() const {
        std::vector<std::string> out;
        for (const auto& r : wmi.received())
            if (r.query.find("AntiVirusProduct") != std::string::npos) out.push_back(r.ns);
        return out;
    }
};

TEST_F(WmiFacts, GathersEveryFactOfAHealthyMachine) {
    gather();
    EXPECT_EQ(rs.userOs, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(rs.osServicePack, "(Null)");
    EXPECT_EQ(rs.userAntivir, "null");
    EXPECT_EQ(rs.cpuName, "Test CPU");
    EXPECT_EQ(rs.coreCount, 4);
    EXPECT_EQ(rs.systemDrive, "/");
    EXPECT_EQ(rs.hotfixList, "");
    EXPECT_FLOAT_EQ(rs.diskFreeGb, 8.0f);
    EXPECT_TRUE(isVistaOrLater);
    EXPECT_EQ(wmi.initializeCalls, 1);
    EXPECT_GE(wmi.uninitializeCalls, 1);
}

TEST_F(WmiFacts, ServicePackIsAppendedAfterOneBlank) {
    FakeManagementService other;
    other.addObject(kCimv2Namespace, "Win32_OperatingSystem",
                    FakeObject().text("Caption", "Old System").text("CSDVersion", "Service Pack 1"));
    vGatherWmiFacts(rs, other, system, isVistaOrLater);
    EXPECT_EQ(rs.userOs, "Old System Service Pack 1");
}

TEST_F(WmiFacts, AntivirusNamespaceFollowsTheVersion) {
    EXPECT_EQ(szAntivirusNamespace({6, 1}), "root\\SecurityCenter2");
    EXPECT_EQ(szAntivirusNamespace({6, 3}), "root\\SecurityCenter2");
    EXPECT_EQ(szAntivirusNamespace({6, 0}), "root\\SecurityCenter");
    EXPECT_EQ(szAntivirusNamespace({5, 1}), "root\\SecurityCenter");
    EXPECT_EQ(szAntivirusNamespace({7, 0}), "root\\SecurityCenter");

    system.version = OsVersion{5, 1};
    gather();
    EXPECT_EQ(antivirusNamespaces(), std::vector<std::string>{"root\\SecurityCenter"});
    EXPECT_FALSE(isVistaOrLater);
}

TEST_F(WmiFacts, TwoAntivirusProductsAreJoinedByAComma) {
    wmi.addObject("root\\SecurityCenter2", "AntiVirusProduct", FakeObject().text("displayName", "ClamAV"));
    wmi.addObject("root\\SecurityCenter2", "AntiVirusProduct",
                  FakeObject().text("productState", "266240").text("displayName", "Second Engine"));
    gather();
    EXPECT_EQ(rs.userAntivir, "ClamAV,Second Engine");
}

TEST_F(WmiFacts, AFailingAntivirusQueryEndsTheStep) {
    wmi.failQuery("root\\SecurityCenter2", "AntiVirusProduct", kWbemInvalidNamespace);
    gather();
    EXPECT_EQ(rs.userOs, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(rs.userAntivir, "null");
    EXPECT_EQ(rs.cpuName, "");
    EXPECT_EQ(rs.coreCount, 0);
    EXPECT_EQ(rs.systemDrive, "");
    EXPECT_FLOAT_EQ(rs.diskFreeGb, 0.0f);
    EXPECT_EQ(wmi.received().size(), 2u);
}

TEST_F(WmiFacts, AProcessorCountThatIsNoNumberKeepsTheOnlineCount) {
    FakeManagementService other;
    other.addClass("root\\SecurityCenter2", "AntiVirusProduct");
    other.addObject(kCimv2Namespace, "Win32_Processor",
                    FakeObject().text("Name", "CPU").null("NumberOfLogicalProcessors", CimUint32));
    system.online = 3;
    vGatherWmiFacts(rs, other, system, isVistaOrLater);
    EXPECT_EQ(rs.coreCount, 3);
}

TEST_F(WmiFacts, HotFixesAreListedAndFreeSpaceIsReadAfterTheSystemDrive) {
    wmi.addObject(kCimv2Namespace, "Win32_QuickFixEngineering", FakeObject().text("HotFixID", "livepatch_a"));
    wmi.addObject(kCimv2Namespace, "Win32_QuickFixEngineering", FakeObject().text("HotFixID", "livepatch_b"));
    gather();
    EXPECT_EQ(rs.hotfixList, "livepatch_a,livepatch_b");

    MachineProfile fresh;
    FakeManagementService disk;
    disk.addClass("root\\SecurityCenter2", "AntiVirusProduct");
    disk.addClass(kCimv2Namespace, "Win32_Processor");
    disk.addObject(kCimv2Namespace, "Win32_OperatingSystem", FakeObject().text("SystemDrive", "C:"));
    disk.addObject(kCimv2Namespace, "Win32_LogicalDisk",
                   FakeObject().text("Caption", "C:").null("Size").text("FreeSpace", "524288000"));
    vGatherWmiFacts(fresh, disk, system, isVistaOrLater);
    EXPECT_NEAR(fresh.diskFreeGb, 0.488, 0.001);
}

class ProfileStep : public testing::Test {
protected:
    std::shared_ptr<FakeSystemInfo> system = std::make_shared<FakeSystemInfo>();
    MachineProfile rs;

    MachineProfiler profiler() { return MachineProfiler(system, nullptr, "/nonexistent", "", ""); }
};

TEST_F(ProfileStep, OlderSystemsGetNoNetshCodesAndTheCombinedTextKeepsItsOrder) {
    system->version = OsVersion{5, 1};
    auto& reg = *system->fakeRegistry;
    reg.setInteger(RegistryRoot::LocalMachine, kTcpipParametersKey, "Tcp1323Opts", 3);
    reg.setInteger(RegistryRoot::LocalMachine, kTcpipParametersKey, "GlobalMaxTcpWindowSize", 4194304);
    reg.setInteger(RegistryRoot::LocalMachine, kTcpipParametersKey, "TcpWindowSize", 131072);
    reg.setInteger(RegistryRoot::LocalMachine, kTcpipParametersKey, "EnablePMTUDiscovery", 1);
    reg.setInteger(RegistryRoot::LocalMachine, kAfdParametersKey, "DefaultReceiveWindows", 212992);
    reg.setString(RegistryRoot::LocalMachine, kCentralProcessorKey, "ProcessorNameString", "Registry CPU");
    rs.mtu = 1500;
    auto p = profiler();
    p.vGetSystemInfo(rs);
    EXPECT_FALSE(p.isVistaOrLater);
    EXPECT_EQ(p.szNetshState, "-1,-1,-1,-1,-1,-1,-1");
    EXPECT_EQ(rs.cpuName, "Registry CPU");
    EXPECT_EQ(rs.mtuText, "1500");
    EXPECT_EQ(rs.netParameter, "3,4194304,131072,212992,1,1500,-1,-1,-1,-1,-1,-1,-1,-1");
}

TEST_F(ProfileStep, UnknownMtuIsWrittenMinusOneAndMissingValuesToo) {
    system->version = OsVersion{5, 1};
    rs.mtu = 0xFFFFFFFFu;
    auto p = profiler();
    p.vGetSystemInfo(rs);
    EXPECT_EQ(rs.mtuText, "-1");
    EXPECT_EQ(rs.netParameter, "-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1");
}

TEST_F(ProfileStep, MemoryPowerAndDisk) {
    system->version = OsVersion{5, 1};
    system->memory = MemoryStatus{(8ull << 30) + (1u << 19), 1ull << 30};
    system->power = PowerStatus{1, 128};
    system->freeBytesByPath["/\\"] = 500ull << 20;
    rs.systemDrive = "/";
    rs.diskFreeGb = 8.0f;
    auto p = profiler();
    p.vGetSystemInfo(rs);
    EXPECT_EQ(rs.memTotalMb, 8192);
    EXPECT_EQ(rs.powerStatus, "1,128");
    EXPECT_EQ(system->diskPathsAsked, std::vector<std::string>{"/\\"});
    EXPECT_NEAR(rs.diskFreeGb, 0.488, 0.001);

    system->power.reset();
    system->freeBytesByPath.clear();
    p.vGetSystemInfo(rs);
    EXPECT_EQ(rs.powerStatus, "null");
    EXPECT_NEAR(rs.diskFreeGb, 0.488, 0.001);  // a failing disk read keeps the last figure

    rs.systemDrive.clear();
    system->diskPathsAsked.clear();
    p.vGetSystemInfo(rs);
    EXPECT_TRUE(system->diskPathsAsked.empty());
}

}  // namespace
}  // namespace kivota
