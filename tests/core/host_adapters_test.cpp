// The Linux adapter list, read against interfaces each test builds in a
// network namespace of its own. Nothing here sends a datagram.
#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/host_adapters.h"
#include "private_network.h"

namespace nimbrel {
namespace {

void EnterFreshNamespace() {
  // A namespace belongs to the thread that enters it: there must be no other.
  const auto threads = std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                     std::filesystem::directory_iterator{});
  if (threads != 1 || ::unshare(CLONE_NEWNET) != 0) {
    std::fprintf(stderr, "\nA fresh network namespace could not be entered (%s); these tests need root.\n\n",
                 threads != 1 ? "more than one thread" : std::strerror(errno));
    std::_Exit(2);
  }
}

void Ip(const std::vector<std::string>& arguments) { test::RunIpHere(arguments); }

void AddVethPair(const std::string& name, const std::string& peer) {
  Ip({"link", "add", name, "type", "veth", "peer", "name", peer});
}

// The adapters as the system numbers its interfaces.
std::vector<HostAdapter> InIndexOrder(std::vector<HostAdapter> adapters) {
  std::ranges::sort(adapters, {}, [](const HostAdapter& adapter) {
    return ::if_nametoindex(adapter.description.c_str());
  });
  return adapters;
}

class HostAdapters : public ::testing::Test {
 protected:
  void SetUp() override { EnterFreshNamespace(); }
};

TEST_F(HostAdapters, LoopbackAloneIsNoAdapter) { EXPECT_EQ(ReadHostAdapters(), std::vector<HostAdapter>{}); }

TEST_F(HostAdapters, EachInterfaceWithItsFirstAddressMaskAndGateway) {
  // Peers are numbered before the link that names them, so the system's
  // order is not the order of creation nor of names.
  AddVethPair("nbz", "nbb");
  AddVethPair("nbq", "nbe");
  for (const char* link : {"nbz", "nbb", "nbq"}) Ip({"link", "set", link, "up"});
  Ip({"address", "add", "192.168.7.20/24", "dev", "nbz"});
  Ip({"address", "add", "10.9.0.5/16", "dev", "nbz", "label", "nbz:two"});
  Ip({"route", "add", "10.30.0.0/16", "via", "10.9.0.77", "dev", "nbz"});
  Ip({"route", "add", "default", "via", "192.168.7.1", "dev", "nbz"});
  Ip({"address", "add", "172.16.5.9/20", "dev", "nbb"});
  Ip({"route", "add", "10.20.0.0/16", "via", "172.16.0.254", "dev", "nbb"});
  Ip({"address", "add", "172.31.0.4/30", "dev", "nbq"});
  // Routes of other tables are not the adapter's gateway.
  Ip({"route", "add", "default", "via", "172.31.0.5", "dev", "nbq", "table", "100"});

  const std::vector<HostAdapter> expected = InIndexOrder({
      {.description = "nbz", .ip = "192.168.7.20", .netmask = "255.255.255.0", .gateway = "192.168.7.1"},
      {.description = "nbb", .ip = "172.16.5.9", .netmask = "255.255.240.0", .gateway = "172.16.0.254"},
      {.description = "nbq", .ip = "172.31.0.4", .netmask = "255.255.255.252", .gateway = "0.0.0.0"},
      {.description = "nbe", .ip = "0.0.0.0", .netmask = "0.0.0.0", .gateway = "0.0.0.0"},
  });
  EXPECT_EQ(ReadHostAdapters(), expected);
}

TEST_F(HostAdapters, EachHopOfAMultipathDefaultRouteIsItsInterfacesGateway) {
  AddVethPair("nbz", "nbb");
  for (const char* link : {"nbz", "nbb"}) Ip({"link", "set", link, "up"});
  Ip({"address", "add", "192.168.7.20/24", "dev", "nbz"});
  Ip({"address", "add", "172.16.5.9/20", "dev", "nbb"});
  Ip({"route", "add", "10.20.0.0/16", "via", "172.16.0.254", "dev", "nbb"});
  Ip({"route", "add", "default", "nexthop", "via", "192.168.7.1", "dev", "nbz", "nexthop", "via", "172.16.0.1",
      "dev", "nbb"});

  const std::vector<HostAdapter> expected = InIndexOrder({
      {.description = "nbz", .ip = "192.168.7.20", .netmask = "255.255.255.0", .gateway = "192.168.7.1"},
      {.description = "nbb", .ip = "172.16.5.9", .netmask = "255.255.240.0", .gateway = "172.16.0.1"},
  });
  EXPECT_EQ(ReadHostAdapters(), expected);
}

TEST_F(HostAdapters, AtMostOneHundredAreRead) {
  std::vector<unsigned> all_indices;
  for (int pair = 0; pair < 51; ++pair) {
    const std::string name = "nba" + std::to_string(pair);
    const std::string peer = "nbp" + std::to_string(pair);
    AddVethPair(name, peer);
    all_indices.push_back(::if_nametoindex(name.c_str()));
    all_indices.push_back(::if_nametoindex(peer.c_str()));
  }
  std::ranges::sort(all_indices);

  std::vector<unsigned> indices;
  for (const HostAdapter& adapter : ReadHostAdapters()) indices.push_back(::if_nametoindex(adapter.description.c_str()));
  // The first hundred in the system's order.
  all_indices.resize(max_host_adapters);
  EXPECT_EQ(indices, all_indices);
}

}  // namespace
}  // namespace nimbrel

int main(int argc, char** argv) {
  nimbrel::EnterFreshNamespace();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
