#include "support/lab.h"

#include <cstdlib>
#include <filesystem>

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

std::optional<TestbedResult> optLabResult(const std::string& cookieValue) {
    const char* state = std::getenv("KIVOTA_LAB_STATE");
    const std::filesystem::path results = std::filesystem::path(state ? state : "/tmp/kivota-lab") / "results";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(results, ec)) {
        if (entry.path().extension() != ".txt") continue;
        TestbedResult r = readTestbedResult(entry.path().string());
        if (r.cookie == cookieValue) return r;
    }
    return std::nullopt;
}

}  // namespace kivota::test
