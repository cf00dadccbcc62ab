#pragma once
// Owning pointers for libnl's objects: each frees or releases its object as libnl asks.

#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>

#include <memory>

namespace kivota::netlink_owners {

// Frees an object with the libnl function that releases it.
template <auto release>
struct ReleasedBy {
    template <typename T>
    void operator()(T* object) const {
        release(object);
    }
};

using SocketPtr = std::unique_ptr<nl_sock, ReleasedBy<nl_socket_free>>;
using MessagePtr = std::unique_ptr<nl_msg, ReleasedBy<nlmsg_free>>;
using CachePtr = std::unique_ptr<nl_cache, ReleasedBy<nl_cache_free>>;
using LinkPtr = std::unique_ptr<rtnl_link, ReleasedBy<rtnl_link_put>>;
using RoutePtr = std::unique_ptr<rtnl_route, ReleasedBy<rtnl_route_put>>;
using AddrPtr = std::unique_ptr<nl_addr, ReleasedBy<nl_addr_put>>;

}  // namespace kivota::netlink_owners
