// The adapter list on Linux: every interface but loopback, in interface-index
// order, named by its interface name. Addresses and masks come from
// getifaddrs, gateways from the main routing table over rtnetlink.
#include "core/host_adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrel {
namespace {

constexpr const char* no_address = "0.0.0.0";

std::string DottedText(const in_addr& address) {
  std::array<char, INET_ADDRSTRLEN> text{};
  if (::inet_ntop(AF_INET, &address, text.data(), text.size()) == nullptr) return no_address;
  return text.data();
}

struct Interface {
  std::string name;
  bool loopback = false;
  std::optional<in_addr> ip;
  in_addr netmask{};
};

// An address label such as "eth0:1" belongs to the interface "eth0".
std::string_view LinkName(std::string_view label) { return label.substr(0, label.find(':')); }

// Interfaces by index, each with its first IPv4 address and that address's
// mask. getifaddrs lists a device's addresses primary first.
bool ReadInterfaces(std::map<unsigned, Interface>& interfaces) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  std::map<std::string, unsigned, std::less<>> index_of_name;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    const std::string name(LinkName(entry->ifa_name));
    auto known = index_of_name.find(name);
    if (known == index_of_name.end()) {
      const unsigned index = ::if_nametoindex(name.c_str());
      if (index == 0) continue;  // gone meanwhile
      known = index_of_name.emplace(name, index).first;
      interfaces[index].name = name;
    }
    Interface& interface = interfaces[known->second];
    if ((entry->ifa_flags & IFF_LOOPBACK) != 0) interface.loopback = true;
    if (interface.ip || entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in address{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    interface.ip = address.sin_addr;
    if (entry->ifa_netmask != nullptr && entry->ifa_netmask->sa_family == AF_INET) {
      sockaddr_in mask{};
      std::memcpy(&mask, entry->ifa_netmask, sizeof mask);
      interface.netmask = mask.sin_addr;
    }
  }
  ::freeifaddrs(list);
  return true;
}

// The first gateway of each interface: that of its default route, else that
// of the first route through it that has one.
struct Gateways {
  std::map<unsigned, in_addr> of_default_route;
  std::map<unsigned, in_addr> of_any_route;

  void Note(unsigned interface, const in_addr& gateway, bool default_route) {
    (default_route ? of_default_route : of_any_route).try_emplace(interface, gateway);
  }
  std::optional<in_addr> For(unsigned interface) const {
    if (const auto found = of_default_route.find(interface); found != of_default_route.end()) return found->second;
    if (const auto found = of_any_route.find(interface); found != of_any_route.end()) return found->second;
    return std::nullopt;
  }
};

std::optional<in_addr> GatewayAttribute(const rtattr* attribute) {
  if (attribute->rta_type != RTA_GATEWAY || RTA_PAYLOAD(attribute) < sizeof(in_addr)) return std::nullopt;
  in_addr gateway{};
  std::memcpy(&gateway, RTA_DATA(attribute), sizeof gateway);
  return gateway;
}

// The next hops of a multipath route, each with its own interface and
// gateway.
void NoteNextHops(const rtattr* multipath, bool default_route, Gateways& gateways) {
  const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(multipath));
  int left = static_cast<int>(RTA_PAYLOAD(multipath));
  while (left >= static_cast<int>(sizeof(rtnexthop)) && hop->rtnh_len >= sizeof(rtnexthop) &&
         hop->rtnh_len <= left) {
    int attributes_left = hop->rtnh_len - static_cast<int>(RTNH_LENGTH(0));
    for (const rtattr* attribute = RTNH_DATA(hop); RTA_OK(attribute, attributes_left);
         attribute = RTA_NEXT(attribute, attributes_left))
      if (const auto gateway = GatewayAttribute(attribute))
        gateways.Note(static_cast<unsigned>(hop->rtnh_ifindex), *gateway, default_route);
    left -= static_cast<int>(RTNH_ALIGN(hop->rtnh_len));
    hop = RTNH_NEXT(hop);
  }
}

void NoteRoute(const nlmsghdr* message, Gateways& gateways) {
  if (message->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
  const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(message));
  if (route->rtm_family != AF_INET || route->rtm_type != RTN_UNICAST) return;
  std::uint32_t table = route->rtm_table;
  std::optional<unsigned> interface;
  std::optional<in_addr> gateway;
  const rtattr* multipath = nullptr;
  int left = static_cast<int>(RTM_PAYLOAD(message));
  for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
    if (attribute->rta_type == RTA_TABLE && RTA_PAYLOAD(attribute) >= sizeof table)
      std::memcpy(&table, RTA_DATA(attribute), sizeof table);
    else if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int)) {
      int index = 0;
      std::memcpy(&index, RTA_DATA(attribute), sizeof index);
      interface = static_cast<unsigned>(index);
    } else if (attribute->rta_type == RTA_MULTIPATH)
      multipath = attribute;
    else if (const auto found = GatewayAttribute(attribute))
      gateway = found;
  }
  if (table != RT_TABLE_MAIN) return;
  const bool default_route = route->rtm_dst_len == 0;
  if (interface && gateway) gateways.Note(*interface, *gateway, default_route);
  if (multipath != nullptr) NoteNextHops(multipath, default_route, gateways);
}

class NetlinkSocket {
 public:
  NetlinkSocket() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
    if (fd_ < 0) return;
    // The kernel answers a dump at once; the bound only keeps a broken
    // answer from freezing the window.
    const timeval wait{.tv_sec = 1, .tv_usec = 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~NetlinkSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  NetlinkSocket(const NetlinkSocket&) = delete;
  NetlinkSocket& operator=(const NetlinkSocket&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_;
};

// NLMSG_OK, with the length compared as unsigned (Clang's -Wsign-compare
// objects to the macro's int against the header's unsigned length).
bool MessageFits(const nlmsghdr* message, int left) {
  return left >= static_cast<int>(sizeof(nlmsghdr)) && message->nlmsg_len >= sizeof(nlmsghdr) &&
         message->nlmsg_len <= static_cast<unsigned>(left);
}

// Dumps the IPv4 routes of every table; false when the dump fails part way.
bool ReadGateways(Gateways& gateways) {
  const NetlinkSocket socket;
  if (socket.fd() < 0) return false;

  constexpr std::uint32_t sequence = 1;
  struct {
    nlmsghdr header;
    rtmsg route;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = sequence;
  request.route.rtm_family = AF_INET;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(socket.fd(), &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) < 0)
    return false;

  // Aligned for the headers read out of it.
  std::vector<nlmsghdr> buffer(32768 / sizeof(nlmsghdr));
  const std::size_t buffer_bytes = buffer.size() * sizeof(nlmsghdr);
  while (true) {
    sockaddr_nl sender{};
    socklen_t sender_length = sizeof sender;
    const ssize_t received = ::recvfrom(socket.fd(), buffer.data(), buffer_bytes, MSG_TRUNC,
                                        reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (received < 0 || static_cast<std::size_t>(received) > buffer_bytes) return false;
    if (sender.nl_pid != 0) continue;  // not the kernel
    int left = static_cast<int>(received);
    for (const nlmsghdr* message = buffer.data(); MessageFits(message, left); message = NLMSG_NEXT(message, left)) {
      if (message->nlmsg_seq != sequence) continue;
      if (message->nlmsg_type == NLMSG_DONE) return true;
      if (message->nlmsg_type == NLMSG_ERROR) return false;
      if (message->nlmsg_type == RTM_NEWROUTE) NoteRoute(message, gateways);
    }
  }
}

}  // namespace

std::vector<HostAdapter> ReadHostAdapters() noexcept {
  try {
    std::map<unsigned, Interface> interfaces;
    if (!ReadInterfaces(interfaces)) return {};
    Gateways gateways;
    if (!ReadGateways(gateways)) gateways = {};  // the addresses are still worth listing

    std::vector<HostAdapter> adapters;
    for (const auto& [index, interface] : interfaces) {
      if (interface.loopback) continue;
      if (adapters.size() == max_host_adapters) break;
      const std::optional<in_addr> gateway = gateways.For(index);
      adapters.push_back({.description = interface.name,
                          .ip = interface.ip ? DottedText(*interface.ip) : no_address,
                          .netmask = interface.ip ? DottedText(interface.netmask) : no_address,
                          .gateway = gateway ? DottedText(*gateway) : no_address});
    }
    return adapters;
  } catch (...) {
    return {};  // out of memory: as if the list could not be read
  }
}

}  // namespace nimbrel
