#pragma once
// The current transmit bit rate of a wireless adapter, from the station information nl80211
// keeps for the access point it is associated with (the rate a link-status tool shows).

#include <memory>

#include "platform/linux/link_facts.h"

struct nl_msg;

namespace kivota {

std::shared_ptr<IWirelessBitRate> makeNl80211BitRate();

namespace nl80211_detail {

// The transmit bit rate (bit/s) in one NL80211_CMD_NEW_STATION message of a station dump;
// nullopt when the message carries none.
std::optional<std::uint64_t> stationTxBitRate(nl_msg* message);

}  // namespace nl80211_detail
}  // namespace kivota
