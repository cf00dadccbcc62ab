// How kernel link facts become interface-row values: type, status, speed and description.
#include <gtest/gtest.h>
#include <linux/if.h>
#include <linux/if_arp.h>

#include "platform/linux/netlink_network_stack.h"

using namespace kivota;
using namespace kivota::netlink_mapping;

TEST(NetlinkMapping, LinkTypes) {
    EXPECT_EQ(interfaceType(ARPHRD_ETHER, false), kIfTypeEthernet);
    EXPECT_EQ(interfaceType(ARPHRD_ETHER, true), kIfTypeWireless);
    EXPECT_EQ(interfaceType(ARPHRD_PPP, false), kIfTypePpp);
    EXPECT_EQ(interfaceType(ARPHRD_LOOPBACK, false), kIfTypeLoopback);
    EXPECT_EQ(interfaceType(ARPHRD_NONE, false), kIfTypeOther);  // tun
}

TEST(NetlinkMapping, OperationalStates) {
    EXPECT_EQ(operStatus(IF_OPER_UP, IFF_UP), kOperOperational);
    EXPECT_EQ(operStatus(IF_OPER_DORMANT, IFF_UP), kOperConnecting);
    EXPECT_EQ(operStatus(IF_OPER_DOWN, IFF_UP), kOperDisconnected);
    EXPECT_EQ(operStatus(IF_OPER_LOWERLAYERDOWN, IFF_UP), kOperUnreachable);
    EXPECT_EQ(operStatus(IF_OPER_NOTPRESENT, 0), kOperNonOperational);
    // "unknown": judged by the flags
    EXPECT_EQ(operStatus(IF_OPER_UNKNOWN, IFF_UP | IFF_RUNNING), kOperOperational);
    EXPECT_EQ(operStatus(IF_OPER_UNKNOWN, IFF_UP), kOperDisconnected);
    EXPECT_EQ(operStatus(IF_OPER_UNKNOWN, 0), kOperDisconnected);
}

TEST(NetlinkMapping, SpeedFromSysfs) {
    EXPECT_EQ(speedFromSysfs("1000\n"), 1000000000ULL);
    EXPECT_EQ(speedFromSysfs("100000\n"), 100000000000ULL);  // beyond 32 bits of bit/s
    EXPECT_EQ(speedFromSysfs("-1\n"), 0U);
    EXPECT_EQ(speedFromSysfs(""), 0U);
    EXPECT_EQ(speedFromSysfs("fast"), 0U);
}

TEST(NetlinkMapping, DescriptionFromUdev) {
    const std::string both =
        "I:123\nE:ID_NET_NAME_PATH=enp3s0\nE:ID_VENDOR_FROM_DATABASE=Intel Corporation\n"
        "E:ID_MODEL_FROM_DATABASE=Wi-Fi 6 AX200\n";
    EXPECT_EQ(describeFromUdev(both), "Intel Corporation Wi-Fi 6 AX200");
    EXPECT_EQ(describeFromUdev("E:ID_MODEL_FROM_DATABASE=RTL8111/8168\n"), "RTL8111/8168");
    EXPECT_EQ(describeFromUdev("E:ID_NET_DRIVER=r8169\n"), "");
    EXPECT_EQ(describeFromUdev(""), "");
}
