#include "platform/linux/link_facts.h"

#include <linux/if_arp.h>

#include <sstream>
#include <system_error>

#include "platform/linux/netlink_network_stack.h"
#include "platform/linux/nl80211_bit_rate.h"
#include "platform/linux/sysctl_reader.h"
#include "platform/network_stack.h"
#include "platform/wireless_words.h"

namespace kivota {

namespace {

std::filesystem::path netDir(const LinkFactSources& sources, const std::string& name) {
    return sources.sysRoot / "class" / "net" / name;
}

// cfg80211 gives every wireless netdev a phy80211 link; wireless extensions add "wireless".
bool hasWirelessPhy(const LinkFactSources& sources, const std::string& name) {
    std::error_code ec;
    const auto dir = netDir(sources, name);
    return std::filesystem::exists(dir / "phy80211", ec) || std::filesystem::exists(dir / "wireless", ec);
}

// The hardware database's name for the device, else its driver, else the interface name.
std::string describe(const LinkIdentity& link, const LinkFactSources& sources) {
    std::string text = netlink_mapping::describeFromUdev(
        readSmallFile(sources.udevRoot / "data" / ("n" + std::to_string(link.index))));
    if (!text.empty()) {
        return text;
    }
    std::error_code ec;
    const auto driver = std::filesystem::read_symlink(netDir(sources, link.name) / "device" / "driver", ec);
    if (!ec && !driver.filename().empty()) {
        return driver.filename().string();
    }
    return link.name;
}

std::uint64_t sysfsSpeed(const LinkFactSources& sources, const std::string& name) {
    return netlink_mapping::speedFromSysfs(readSmallFile(netDir(sources, name) / "speed"));
}

}  // namespace

namespace link_facts_detail {

std::string firstPppoeDevice(const std::string& procNetPppoe) {
    std::istringstream lines(procNetPppoe);
    std::string line;
    std::getline(lines, line);  // the heading "Id Address Device"
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, address, device;
        if (fields >> id >> address >> device) {
            return device;
        }
    }
    return {};
}

}  // namespace link_facts_detail

LinkFactSources systemLinkFactSources() {
    LinkFactSources sources;
    sources.wireless = makeNl80211BitRate();
    return sources;
}

LinkFacts readLinkFacts(const LinkIdentity& link, const LinkFactSources& sources) {
    LinkFacts facts;
    facts.description = describe(link, sources);
    const bool wireless = hasWirelessPhy(sources, link.name);
    facts.type = netlink_mapping::interfaceType(link.arpHardwareType, wireless);
    if (facts.type == kIfTypeWireless) {
        if (!bNamesWirelessLink(facts.description)) {
            facts.description += " Wireless";
        }
        if (sources.wireless) {
            facts.speedBps = sources.wireless->currentBitRate(link.index).value_or(0);
        }
    } else if (link.arpHardwareType == ARPHRD_PPP) {
        const std::string lower =
            link_facts_detail::firstPppoeDevice(readSmallFile(sources.procRoot / "net" / "pppoe"));
        if (!lower.empty()) {
            facts.speedBps = sysfsSpeed(sources, lower);
        }
    } else {
        facts.speedBps = sysfsSpeed(sources, link.name);
    }
    return facts;
}

}  // namespace kivota
