#include "support/test_namespace.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace kivota::test {

namespace {

constexpr const char* kPrefix = "kvt-";
constexpr const char* kSubnet = "198.19.77.";

bool sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The IPv4 addresses of this namespace's interfaces.
std::set<std::string> localAddresses() {
    std::set<std::string> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return found;
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) found.insert(text);
    }
    ::freeifaddrs(list);
    return found;
}

// The first /30 of the subnet, from one the process id picks, that no interface here uses yet,
// so that two runs at once do not share one; -1 when all are taken.
int freeBlock(int pid) {
    const auto used = localAddresses();
    for (int k = 0; k < 64; ++k) {
        const int block = 4 * ((pid + k) % 64);
        bool taken = false;
        for (int host = 0; host < 4; ++host) taken = taken || used.count(kSubnet + std::to_string(block + host)) > 0;
        if (!taken) return block;
    }
    return -1;
}

}  // namespace

void TestNamespace::vSweepLeftovers() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) continue;
        const int pid = std::atoi(name.c_str() + std::char_traits<char>::length(kPrefix));
        if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH)) sh("ip netns del " + name);
    }
}

TestNamespace::TestNamespace() {
    vSweepLeftovers();
    static std::atomic<int> made{0};
    const int pid = static_cast<int>(::getpid());
    const int n = made++;
    name_ = kPrefix + std::to_string(pid) + "-" + std::to_string(n);
    const std::string stem = "kvt" + std::to_string(pid % 10000000) + "x" + std::to_string(n % 100);
    hostIf_ = stem + "h";  // at most 15 characters
    nsIf_ = stem + "n";
    const int block = freeBlock(pid);
    if (block < 0) return;
    hostAddr_ = kSubnet + std::to_string(block + 1);
    nsAddr_ = kSubnet + std::to_string(block + 2);
    ok_ = sh("ip netns add " + name_) &&
          sh("ip link add " + hostIf_ + " type veth peer name " + nsIf_ + " netns " + name_) &&
          sh("ip addr add " + hostAddr_ + "/30 dev " + hostIf_) && sh("ip link set " + hostIf_ + " up") &&
          run("ip addr add " + nsAddr_ + "/30 dev " + nsIf_) && run("ip link set lo up") &&
          run("ip link set " + nsIf_ + " up");
}

TestNamespace::~TestNamespace() {
    sh("ip link del " + hostIf_);  // takes the namespace's end with it
    sh("ip netns del " + name_);
}

bool TestNamespace::run(const std::string& command) const { return sh("ip netns exec " + name_ + " " + command); }

}  // namespace kivota::test
