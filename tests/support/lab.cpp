#include "support/lab.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace kivota::test {

bool bLabUp() { return std::getenv("KIVOTA_LAB") != nullptr; }

bool bLabRequired() { return std::getenv("KIVOTA_LAB_REQUIRED") != nullptr; }

int iLabAdapterRow(INetworkStack& net) {
    const auto best = net.bestInterface(kLabServer);
    const auto table = net.interfaceTable();
    if (!best || !table) return -1;
    for (std::size_t i = 0; i < table->size(); ++i) {
        if ((*table)[i].index == *best) return static_cast<int>(i);
    }
    return -1;
}

namespace {

std::vector<double> vSeriesValues(const std::string& series) {
    std::vector<double> values;
    std::size_t start = 0;
    while (start < series.size()) {
        const auto comma = series.find(',', start);
        values.push_back(std::atof(series.substr(start, comma - start).c_str()));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return values;
}

}  // namespace

void vExpectPhaseWithinThePayloadShare(const char* phase, double ftpKbps, double nicKbps, const std::string& ftpSeries,
                                       const std::string& nicSeries, int connections, bool upload) {
    constexpr double kFramePayloadKbit = 1448 * 8 / 1000.0;
    // How long the later of the two counters may lag behind the earlier (see lab.h).
    const double lagSec = upload ? 0.040 : 0.010;
    const double inFlightKbit = (connections + 2) * kFramePayloadKbit;
    const auto ftp = vSeriesValues(ftpSeries), nic = vSeriesValues(nicSeries);
    ASSERT_EQ(ftp.size(), nic.size()) << phase;
    std::printf("%s per second (FTP/adapter kbit/s):", phase);
    int above = 0;
    for (std::size_t i = 0; i < ftp.size(); ++i) {
        std::printf(" %.0f/%.0f", ftp[i], nic[i]);
        if (ftp[i] > nic[i] * kPayloadShare) ++above;
    }
    std::printf("\n%s: %d of %zu seconds above %.3f of the adapter rate\n", phase, above, ftp.size(), kPayloadShare);
    const auto carry = [&](std::size_t i) { return lagSec * nic[i] * kPayloadShare; };
    double ftpSum = 0, nicSum = 0;
    for (std::size_t i = 0; i < ftp.size(); ++i) {
        EXPECT_LE(ftp[i], nic[i] * kPayloadShare + inFlightKbit + carry(i)) << phase << " second " << i + 1;
        ftpSum += ftp[i];
        nicSum += nic[i];
        EXPECT_LE(ftpSum, nicSum * kPayloadShare + inFlightKbit + carry(0)) << phase << " seconds 1 to " << i + 1;
    }
    if (ftp.empty()) return;
    // The phase's rates are its seconds' sums over its measured time, about one second apiece.
    const auto seconds = static_cast<double>(ftp.size());
    EXPECT_LE(ftpKbps, nicKbps * kPayloadShare + (inFlightKbit + carry(0)) / seconds) << phase << " over the phase";
}

std::string szLabStateDir() {
    const char* state = std::getenv("KIVOTA_LAB_STATE");
    return state ? state : "/tmp/kivota-lab";
}

void vSetLabScenario(const std::string& text) {
    const std::filesystem::path dir(szLabStateDir());
    {
        // Written aside and renamed, so that no request reads half of it.
        std::ofstream out(dir / "scenario.tmp", std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::filesystem::rename(dir / "scenario.tmp", dir / "scenario");
}

std::optional<TestbedResult> optLabResult(const std::string& cookieValue) {
    const std::filesystem::path results = std::filesystem::path(szLabStateDir()) / "results";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(results, ec)) {
        if (entry.path().extension() != ".txt") continue;
        TestbedResult r = readTestbedResult(entry.path().string());
        if (r.cookie == cookieValue) return r;
    }
    return std::nullopt;
}

}  // namespace kivota::test
