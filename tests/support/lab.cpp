#include "support/lab.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
