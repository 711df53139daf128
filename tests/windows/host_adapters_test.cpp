// The Windows adapter list (GetAdaptersInfo) under Wine, read against
// interfaces that wine-in-private-network builds in this program's private
// network. Nothing here sends a datagram.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/host_adapters.h"
#include "private_network.h"

namespace nimbrel {
namespace {

using test::RunIpHere;

// Wine describes each adapter by its Linux interface's name.
TEST(WindowsHostAdapters, ThePrivateNetworksOneAdapter) {
  EXPECT_EQ(ReadHostAdapters(), (std::vector<HostAdapter>{{"nb-pc", "192.168.1.10", "255.255.255.0", "0.0.0.0"}}))
      << "its default route names no gateway";
}

TEST(WindowsHostAdapters, EachAdapterWithItsFirstAddressMaskAndGatewayInTheSystemsOrder) {
  RunIpHere({"link", "add", "nbz", "type", "veth", "peer", "name", "nbb"});
  for (const char* link : {"nbz", "nbb"}) RunIpHere({"link", "set", link, "up"});
  RunIpHere({"address", "add", "192.168.7.20/24", "dev", "nbz"});
  RunIpHere({"address", "add", "10.9.0.5/16", "dev", "nbz"});
  RunIpHere({"route", "add", "default", "via", "192.168.7.1", "dev", "nbz", "metric", "50"});
  RunIpHere({"address", "add", "172.16.5.9/20", "dev", "nbb"});
  RunIpHere({"route", "add", "default", "via", "172.16.0.254", "dev", "nbb", "metric", "60"});

  // The system's order is that of the interface numbers: a veth peer is
  // numbered before the link that names it. nbz's second address is left out.
  EXPECT_EQ(ReadHostAdapters(), (std::vector<HostAdapter>{
                                    {"nb-pc", "192.168.1.10", "255.255.255.0", "0.0.0.0"},
                                    {"nbb", "172.16.5.9", "255.255.240.0", "172.16.0.254"},
                                    {"nbz", "192.168.7.20", "255.255.255.0", "192.168.7.1"},
                                }));
}

TEST(WindowsHostAdapters, DescriptionOfARealNetworkCard) {
  GTEST_SKIP() << "Wine names each adapter after its Linux interface; the description a real network card "
                  "gives (\"Intel(R) Ethernet Connection ...\") needs Windows itself";
}

}  // namespace
}  // namespace nimbrel
