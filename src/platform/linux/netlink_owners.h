#pragma once
// Owning pointers for libnl's objects: each frees or releases its object as libnl asks.

#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>

#include <memory>

namespace kivota::netlink_owners {

struct SocketDeleter {
    void operator()(nl_sock* s) const { nl_socket_free(s); }
};
struct MessageDeleter {
    void operator()(nl_msg* m) const { nlmsg_free(m); }
};
struct CacheDeleter {
    void operator()(nl_cache* c) const { nl_cache_free(c); }
};
struct LinkDeleter {
    void operator()(rtnl_link* l) const { rtnl_link_put(l); }
};
struct RouteDeleter {
    void operator()(rtnl_route* r) const { rtnl_route_put(r); }
};
struct AddrDeleter {
    void operator()(nl_addr* a) const { nl_addr_put(a); }
};

using SocketPtr = std::unique_ptr<nl_sock, SocketDeleter>;
using MessagePtr = std::unique_ptr<nl_msg, MessageDeleter>;
using CachePtr = std::unique_ptr<nl_cache, CacheDeleter>;
using LinkPtr = std::unique_ptr<rtnl_link, LinkDeleter>;
using RoutePtr = std::unique_ptr<rtnl_route, RouteDeleter>;
using AddrPtr = std::unique_ptr<nl_addr, AddrDeleter>;

}  // namespace kivota::netlink_owners
