// The TCP settings read from the registry: defaults, proxy, values of the wrong type, denied
// reads and keys that do not open.
#include <gtest/gtest.h>

#include "profile/tcp_settings.h"
#include "support/fake_registry.h"

namespace kivota {
namespace {

constexpr auto HKLM = RegistryRoot::LocalMachine;
constexpr auto HKCU = RegistryRoot::CurrentUser;

class RegistryInfo : public testing::Test {
protected:
    test::FakeRegistry reg;
    MachineProfile rs;
    int enableWsd = 99;

    void read(bool isVistaOrLater = true) { vGetRegistryInfo(rs, reg, isVistaOrLater, enableWsd); }
};

TEST_F(RegistryInfo, MissingValuesGiveTheDefaults) {
    rs.tcp1323Opts = rs.tcpWindowSize = rs.defaultReceiveWindows = 7;
    rs.userProxy = "old:1";
    rs.cpuName = "from the management service";
    read(false);
    EXPECT_EQ(rs.tcp1323Opts, -1);
    EXPECT_EQ(rs.globalMaxTcpWindowSize, -1);
    EXPECT_EQ(rs.tcpWindowSize, -1);
    EXPECT_EQ(rs.enablePmtuDiscovery, -1);
    EXPECT_EQ(rs.defaultReceiveWindows, -1);
    EXPECT_EQ(enableWsd, -1);
    EXPECT_EQ(rs.userProxy, "null");
    EXPECT_EQ(rs.cpuName, "from the management service");
}

TEST_F(RegistryInfo, ReadsEveryValueIntoItsOwnDestination) {
    reg.setInteger(HKLM, kTcpipParametersKey, "Tcp1323Opts", 3);
    reg.setInteger(HKLM, kTcpipParametersKey, "GlobalMaxTcpWindowSize", 4194304);
    reg.setInteger(HKLM, kTcpipParametersKey, "TcpWindowSize", 131072);
    reg.setInteger(HKLM, kTcpipParametersKey, "EnablePMTUDiscovery", 1);
    reg.setInteger(HKLM, kTcpipParametersKey, "EnableWsd", 0);
    reg.setInteger(HKLM, kAfdParametersKey, "DefaultReceiveWindows", 212992);
    read();
    EXPECT_EQ(rs.tcp1323Opts, 3);
    EXPECT_EQ(rs.globalMaxTcpWindowSize, 4194304);
    EXPECT_EQ(rs.tcpWindowSize, 131072);
    EXPECT_EQ(rs.enablePmtuDiscovery, 1);
    EXPECT_EQ(enableWsd, 0);
    EXPECT_EQ(rs.defaultReceiveWindows, 212992);
}

TEST_F(RegistryInfo, ProxyServerIsTakenOnlyWhenTheProxyIsEnabled) {
    reg.setString(HKCU, kInternetSettingsKey, "ProxyServer", "proxy.example:3128");
    reg.setInteger(HKCU, kInternetSettingsKey, "ProxyEnable", 0);
    read();
    EXPECT_EQ(rs.userProxy, "null");

    reg.setInteger(HKCU, kInternetSettingsKey, "ProxyEnable", 1);
    read();
    EXPECT_EQ(rs.userProxy, "proxy.example:3128");

    // A proxy enabled as a string is no integer: the flag stays 0.
    reg.setString(HKCU, kInternetSettingsKey, "ProxyEnable", "1");
    read();
    EXPECT_EQ(rs.userProxy, "null");
}

TEST_F(RegistryInfo, AValueOfTheWrongTypeOrADeniedReadSkipsOnlyThatValue) {
    reg.setString(HKLM, kTcpipParametersKey, "Tcp1323Opts", "3");
    reg.denyRead(HKLM, kTcpipParametersKey, "GlobalMaxTcpWindowSize");
    reg.setInteger(HKLM, kTcpipParametersKey, "TcpWindowSize", 65535);
    reg.setInteger(HKLM, kTcpipParametersKey, "EnablePMTUDiscovery", 0);
    read();
    EXPECT_EQ(rs.tcp1323Opts, -1);
    EXPECT_EQ(rs.globalMaxTcpWindowSize, -1);
    EXPECT_EQ(rs.tcpWindowSize, 65535);
    EXPECT_EQ(rs.enablePmtuDiscovery, 0);
}

TEST_F(RegistryInfo, AKeyThatDoesNotOpenKeepsItsDefaultsAndTheNextKeyIsRead) {
    reg.setInteger(HKLM, kTcpipParametersKey, "Tcp1323Opts", 3);
    reg.failOpen(HKLM, kTcpipParametersKey);
    reg.setInteger(HKLM, kAfdParametersKey, "DefaultReceiveWindows", 8192);
    read();
    EXPECT_EQ(rs.tcp1323Opts, -1);
    EXPECT_EQ(rs.defaultReceiveWindows, 8192);
}

TEST_F(RegistryInfo, ProcessorNameIsReadOnlyBeforeVersionSix) {
    reg.setString(HKLM, kCentralProcessorKey, "ProcessorNameString", "Registry CPU");
    rs.cpuName = "WMI CPU";
    read(true);
    EXPECT_EQ(rs.cpuName, "WMI CPU");
    read(false);
    EXPECT_EQ(rs.cpuName, "Registry CPU");
}

}  // namespace
}  // namespace kivota
