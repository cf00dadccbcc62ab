#pragma once
// What the kernel knows about one link beyond its rtnetlink attributes, read from sysfs, procfs,
// the udev database and (for a wireless adapter) nl80211: its description, its interface type
// and its speed.
//
// - A wireless adapter (cfg80211 present: phy80211 or wireless under its sysfs directory) is of
//   type 802.11, its description carries a wireless word, and its speed is the bit rate of its
//   current transmissions to the access point (nl80211 station information); 0 when it is not
//   associated or the rate cannot be read.
// - A PPP link over PPPoE (a session in /proc/net/pppoe) has the speed of the Ethernet adapter
//   the session runs on. The kernel does not tell which PPP unit belongs to which session; with
//   several sessions the first listed is taken.
// - Any other link has the speed sysfs reports; 0 when it reports none (virtio, tun, a link
//   without carrier).
//
// Every root is a parameter, so tests read fake trees.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace kivota {

// The current bit rate of a wireless adapter, by interface index.
class IWirelessBitRate {
public:
    virtual ~IWirelessBitRate() = default;
    // bit/s of the adapter's current transmissions; nullopt when it is not associated or the
    // rate cannot be read. Any thread; keeps no state between calls.
    virtual std::optional<std::uint64_t> currentBitRate(int ifindex) = 0;
};

struct LinkFactSources {
    std::filesystem::path sysRoot = "/sys";        // sysfs mount point
    std::filesystem::path procRoot = "/proc";      // procfs mount point
    std::filesystem::path udevRoot = "/run/udev";  // the udev database's directory
    std::shared_ptr<IWirelessBitRate> wireless;    // null: wireless rates unknown
};

// The sources of the running system, with nl80211 for wireless rates.
LinkFactSources systemLinkFactSources();

struct LinkIdentity {
    int index = 0;
    std::string name;
    unsigned arpHardwareType = 0;  // ARPHRD_*
};

struct LinkFacts {
    std::string description;
    std::uint32_t type = 0;      // interface type code (kIfType*)
    std::uint64_t speedBps = 0;  // 0 when unknown
};

LinkFacts readLinkFacts(const LinkIdentity& link, const LinkFactSources& sources);

namespace link_facts_detail {

// The device of the first session of a /proc/net/pppoe text ("Id Address Device" lines); empty
// when it lists none.
std::string firstPppoeDevice(const std::string& procNetPppoe);

}  // namespace link_facts_detail
}  // namespace kivota
