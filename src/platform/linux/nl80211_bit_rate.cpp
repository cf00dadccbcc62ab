#include "platform/linux/nl80211_bit_rate.h"

#include <linux/nl80211.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <algorithm>

#include "platform/linux/netlink_owners.h"

namespace kivota {

namespace nl80211_detail {

std::optional<std::uint64_t> stationTxBitRate(nl_msg* message) {
    auto* header = static_cast<genlmsghdr*>(nlmsg_data(nlmsg_hdr(message)));
    nlattr* attrs[NL80211_ATTR_MAX + 1] = {};
    if (nla_parse(attrs, NL80211_ATTR_MAX, genlmsg_attrdata(header, 0), genlmsg_attrlen(header, 0), nullptr) < 0 ||
        attrs[NL80211_ATTR_STA_INFO] == nullptr) {
        return std::nullopt;
    }
    nlattr* station[NL80211_STA_INFO_MAX + 1] = {};
    if (nla_parse_nested(station, NL80211_STA_INFO_MAX, attrs[NL80211_ATTR_STA_INFO], nullptr) < 0 ||
        station[NL80211_STA_INFO_TX_BITRATE] == nullptr) {
        return std::nullopt;
    }
    nlattr* rate[NL80211_RATE_INFO_MAX + 1] = {};
    if (nla_parse_nested(rate, NL80211_RATE_INFO_MAX, station[NL80211_STA_INFO_TX_BITRATE], nullptr) < 0) {
        return std::nullopt;
    }
    // Units of 100 kbit/s; the 32-bit attribute exists for rates beyond 6.5 Gbit/s.
    constexpr std::uint64_t kUnit = 100000;
    if (rate[NL80211_RATE_INFO_BITRATE32] != nullptr) {
        return nla_get_u32(rate[NL80211_RATE_INFO_BITRATE32]) * kUnit;
    }
    if (rate[NL80211_RATE_INFO_BITRATE] != nullptr) {
        return nla_get_u16(rate[NL80211_RATE_INFO_BITRATE]) * kUnit;
    }
    return std::nullopt;
}

}  // namespace nl80211_detail

namespace {

using namespace netlink_owners;

int onStation(nl_msg* message, void* arg) {
    auto& best = *static_cast<std::optional<std::uint64_t>*>(arg);
    if (const auto rate = nl80211_detail::stationTxBitRate(message)) {
        // A managed adapter has one station, its access point; of several, the fastest.
        best = std::max(best.value_or(0), *rate);
    }
    return NL_OK;
}

class Nl80211BitRate final : public IWirelessBitRate {
public:
    std::optional<std::uint64_t> currentBitRate(int ifindex) override {
        SocketPtr sock(nl_socket_alloc());
        if (!sock || ifindex <= 0 || genl_connect(sock.get()) < 0) {
            return std::nullopt;
        }
        const int family = genl_ctrl_resolve(sock.get(), "nl80211");
        if (family < 0) {
            return std::nullopt;  // no cfg80211 in this kernel
        }
        MessagePtr request(nlmsg_alloc());
        if (!request ||
            genlmsg_put(request.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, NLM_F_DUMP, NL80211_CMD_GET_STATION, 0) ==
                nullptr ||
            nla_put_u32(request.get(), NL80211_ATTR_IFINDEX, static_cast<std::uint32_t>(ifindex)) < 0) {
            return std::nullopt;
        }
        std::optional<std::uint64_t> rate;
        if (nl_socket_modify_cb(sock.get(), NL_CB_VALID, NL_CB_CUSTOM, &onStation, &rate) < 0 ||
            nl_send_auto(sock.get(), request.get()) < 0 || nl_recvmsgs_default(sock.get()) < 0) {
            return std::nullopt;
        }
        return rate;
    }
};

}  // namespace

std::shared_ptr<IWirelessBitRate> makeNl80211BitRate() { return std::make_shared<Nl80211BitRate>(); }

}  // namespace kivota
