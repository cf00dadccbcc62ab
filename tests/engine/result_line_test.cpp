// The result line and body the operator's server parses byte by byte: a golden line written
// out by hand from the layout, the optional parts, the load figures and the scrambled body.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "run/result_line.h"
#include "support/worker_rig.h"

namespace kivota {
namespace {

std::shared_ptr<CWorkThread> makeWorker() { return test::WorkerRig{}.makeWorker(); }

// A finished run on a two-core machine.
void fillRun(CWorkThread& w) {
    RunState& rs = w.rs;
    rs.appVer = "0.93";
    rs.dlFtpKbps = 51234.567;
    rs.ulFtpKbps = 10000.0;
    w.dlNicKbps = 52000.126;
    w.ulNicKbps = 10400.5;
    w.ulAtDlKbps = 310.0;
    w.dlAtUlKbps = 0.004;
    rs.profile.userOs = "Debian GNU/Linux 12 (bookworm)";
    rs.profile.userAntivir = "null";
    rs.profile.userNic = "veth kvlab0";
    rs.profile.nicRate = 10000000;
    rs.profile.userPppoe = "Ethernet";
    rs.profile.userLocalIp = "198.18.0.1";
    rs.profile.netParameter = "1,-1,-1,1,-1,1500";
    w.dlSeries = {{51000, 52000, 300}, {51500, 52100, 310}};
    w.ulSeries = {{9990, 10400, 20}, {10010, 10401, 21}};
    rs.rttText = "1,2,3";
    w.ulStarted = 1;
    w.dlStarted = 4;
    rs.profile.userProxy = "null";
    rs.profile.cpuName = "Intel(R) Xeon(R) CPU @ 2.20GHz";
    rs.profile.coreCount = 2;
    rs.profile.resources.vSet(ResourceSums{4, 50.0, {30.0, 21.0}, 4001});
    rs.profile.memTotalMb = 7976;
    rs.profile.diskFreeGb = 12.5f;
    rs.profile.powerStatus = "1,128";
    rs.errorCode = ErrNone;
}

constexpr const char* kCookieValue = "Ab3dE6gH9jK2";

TEST(ResultLine, GoldenQuery) {
    auto w = makeWorker();
    fillRun(*w);
    // auth_code = md5("BJIABIAKAB" "10" "Ab3dE6gH9jK2"), computed outside the program.
    const std::string expected =
        "App_ver=0.93&DL_FTP_speed=51234.57&UL_FTP_speed=10000.00&DL_NIC_speed=52000.13"
        "&UL_NIC_speed=10400.50&UL_at_DL_Test=310.00&DL_at_UL_Test=0.00"
        "&User_os=Debian GNU/Linux 12 (bookworm)&User_antivir=null&User_nic=veth kvlab0"
        "&user_nic_rate=10000000&User_pppoe=Ethernet&User_localip=198.18.0.1"
        "&User_net_parameter=1,-1,-1,1,-1,1500&DL_FTP_speed_interval=51000,51500"
        "&UL_FTP_speed_interval=9990,10010&DL_NIC_speed_interval=52000,52100"
        "&UL_NIC_speed_interval=10400,10401&RTT=1,2,3&Tcp_session=1,4&User_Proxy=null"
        "&CPU=Intel(R) Xeon(R) CPU @ 2.20GHz&CPU_usage=12&Core_Usage=7.50,5.25&Memory=1000,7976"
        "&HD_FreeSpace=12.50&Power=1,128&error_code=0&auth_code=7ae5363f7c86d516cd78beb2bda5e4f9";
    EXPECT_EQ(szResultQuery(*w, kCookieValue), expected);
}

TEST(ResultLine, GoldenFileLine) {
    auto w = makeWorker();
    fillRun(*w);
    w->rs.errorCode = ErrAutoRunning;
    const std::string expected =
        "09:05:07\tApp_ver=0.93&DL_FTP_speed=51234.57&UL_FTP_speed=10000.00&DL_NIC_speed=52000.13"
        "&UL_NIC_speed=10400.50&UL_at_DL_Test=310.00&DL_at_UL_Test=0.00"
        "&User_os=Debian GNU/Linux 12 (bookworm)&User_antivir=null&User_nic=veth kvlab0"
        "&user_nic_rate=10000000&User_pppoe=Ethernet&User_localip=198.18.0.1"
        "&User_net_parameter=1,-1,-1,1,-1,1500&DL_FTP_speed_interval=51000,51500"
        "&UL_FTP_speed_interval=9990,10010&DL_NIC_speed_interval=52000,52100"
        "&UL_NIC_speed_interval=10400,10401&RTT=1,2,3&Tcp_session=1,4&User_Proxy=null"
        "&CPU=Intel(R) Xeon(R) CPU @ 2.20GHz&CPU_usage=12&Memory=1000,7976"
        "&HD_FreeSpace=12.50&Power=1,128&error_code=14";
    EXPECT_EQ(szResultFileLine(*w, "09:05:07"), expected);
}

TEST(ResultLine, CompletionCodeAndHotFixParts) {
    auto w = makeWorker();
    fillRun(*w);
    const std::string plain = szResultQuery(*w, kCookieValue);
    EXPECT_EQ(plain.find("&QUELM="), std::string::npos);
    EXPECT_EQ(plain.find("&HotFix="), std::string::npos);

    w->rs.completionCode = "Q1W2E3";
    w->hotfixQuery = "KB100, KB200";
    w->rs.profile.hotfixList = "KB050,KB200,KB300";
    const std::string full = szResultQuery(*w, kCookieValue);
    ASSERT_EQ(full.substr(0, plain.size()), plain);
    EXPECT_EQ(full.substr(plain.size()), "&QUELM=Q1W2E3&HotFix=KB100:0,KB200:1");
}

TEST(ResultLine, HotFixAnswer) {
    EXPECT_EQ(szHotFixAnswer("KB1,KB2", "KB2"), "KB1:0,KB2:1");
    EXPECT_EQ(szHotFixAnswer(" KB1 ,KB3", "KB3,KB1"), "KB1:1,KB3:1");
    EXPECT_EQ(szHotFixAnswer("KB1", ""), "KB1:0");
    EXPECT_EQ(szHotFixAnswer("KB1,,KB2,", "KB2"), "KB1:0,KB2:1");  // empty items asked nothing
}

TEST(ResultLine, CookieValue) {
    EXPECT_EQ(szCookieValue("KVSID=Ab3dE6gH9jK2  "), "Ab3dE6gH9jK2");
    EXPECT_EQ(szCookieValue("KVSID=abc=def\nX"), "abc=def");
    EXPECT_EQ(szCookieValue("no cookie"), "");
    EXPECT_EQ(szCookieValue(""), "");
    // A long cookie (with the spaces repeated requests add) is taken whole, not cut at 99.
    const std::string longValue(150, 'v');
    EXPECT_EQ(szCookieValue("KVSID=" + longValue + std::string(30, ' ')), longValue);
}

TEST(ResultLine, CoreUsage) {
    ResourceSums sums;
    sums.resourceSamples = 4;
    sums.cpuLoadSum = 50.0;
    EXPECT_EQ(iCpuUsage(sums, false), 12);
    EXPECT_EQ(szCoreUsage(sums, 1, 12), "12");  // one core: the overall figure

    sums.coreLoadSums = {10.0, -4.0, 3.0};  // a core whose counter failed sums negative
    EXPECT_EQ(szCoreUsage(sums, 3, 12), "2.50,-1,0.75");
}

TEST(ResultLine, NoResourceSampleGivesMinusOne) {
    ResourceSums sums;
    sums.coreLoadSums = {0.0, 0.0};
    EXPECT_EQ(iCpuUsage(sums, false), -1);
    EXPECT_EQ(szCoreUsage(sums, 2, -1), "-1,-1");
    EXPECT_EQ(szMemoryText(sums, 2048), "-1,2048");
}

TEST(ResultLine, NewerOsWithNoLoadIsUnknown) {
    ResourceSums sums;
    sums.resourceSamples = 3;
    EXPECT_EQ(iCpuUsage(sums, true), -1);
    EXPECT_EQ(iCpuUsage(sums, false), 0);  // a retry's worker has the flag clear
    sums.cpuLoadSum = 7.5;
    EXPECT_EQ(iCpuUsage(sums, true), 2);
}

// The window adds samples at its keep-alives while the worker builds the line: every line shows
// whole samples (here each sample is 10 % on every core and 100 MiB free, so every average is
// exactly that), and the sums are never read half-written (run under TSan).
TEST(ResultLine, SamplesAddedWhileTheLineIsBuilt) {
    auto w = makeWorker();
    fillRun(*w);
    w->rs.profile.resources.vSet(ResourceSums{0, 0.0, {0.0, 0.0}, 0});
    std::thread window([&] {
        for (int i = 0; i < 2000; ++i) w->rs.profile.resources.vAddSample(10.0, {10.0, 10.0}, 100);
    });
    for (int i = 0; i < 200; ++i) {
        const std::string query = szResultQuery(*w, "abcdefghijkl");
        const bool none = query.find("&CPU_usage=-1&Core_Usage=-1,-1&Memory=-1,7976&") != std::string::npos;
        const bool whole = query.find("&CPU_usage=10&Core_Usage=10.00,10.00&Memory=100,7976&") != std::string::npos;
        EXPECT_TRUE(none || whole) << query;
    }
    window.join();
    EXPECT_EQ(w->rs.profile.resources.snapshot().resourceSamples, 2000);
}

// The server's side of the body, written independently: hex pairs XOR the cyclic key, then
// UTF-16LE (BMP only here) back to UTF-8.
std::string descramble(const std::string& body, const std::string& key) {
    EXPECT_EQ(body.rfind("code=", 0), 0u);
    std::string bytes;
    for (std::size_t i = 5, n = 0; i + 1 < body.size(); i += 2, ++n) {
        const int b = std::stoi(body.substr(i, 2), nullptr, 16);
        bytes.push_back(static_cast<char>(b ^ static_cast<unsigned char>(key[n % key.size()])));
    }
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(bytes[i]) | static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit < 0x80) {
            text.push_back(static_cast<char>(unit));
        } else if (unit < 0x800) {
            text.push_back(static_cast<char>(0xC0 | (unit >> 6)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xE0 | (unit >> 12)));
            text.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
    }
    return text;
}

TEST(ResultBody, ScrambledWithTheCookieKey) {
    const std::string query = "App_ver=0.93&User_os=測試";
    const std::string body = szResultBody(query, kCookieValue, 41, 9999);
    // Every 16-bit unit is two bytes, four hex digits; lower-case after the XOR.
    EXPECT_EQ(body.size(), 5 + 4 * std::string("Null=419999&App_ver=0.93&User_os=XX").size());
    EXPECT_EQ(body.find_first_not_of("0123456789abcdef", 5), std::string::npos);
    EXPECT_EQ(descramble(body, "dgj"), "Null=419999&" + query);  // key: positions 4, 7, 10 of the value
}

TEST(ResultBody, LongResultIsSentWhole) {
    // Long phases give long interval series: far beyond 2048 UTF-16 units.
    std::string query = "DL_FTP_speed_interval=";
    for (int i = 0; i < 1500; ++i) query += "51234,";
    const std::string body = szResultBody(query, kCookieValue, 1, 2);
    EXPECT_EQ(descramble(body, "dgj"), "Null=12&" + query);
}

TEST(ResultBody, NoKeyNoBody) {
    EXPECT_EQ(szResultBody("App_ver=0.93", "abc", 1, 2), "");
    EXPECT_NE(szResultBody("App_ver=0.93", "abcd", 1, 2), "");
}

}  // namespace
}  // namespace kivota
