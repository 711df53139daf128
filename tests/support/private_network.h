// Every test binary that opens a socket lives in a private network of its
// own: this process in one namespace ("the PC", 192.168.1.10/24 on veth
// nb-pc with the default route through it), simulated stations in a second
// one on the far end of the veth pair (10.0.0.2/8 on nb-far, a subnet that
// does not fit the PC's). Nothing ever reaches the machine's own network.
#pragma once

#include <string>
#include <vector>

namespace nimbrel::test {

inline constexpr const char* pc_address = "192.168.1.10";
inline constexpr const char* far_address = "10.0.0.2";

// Call first thing in main(), before any thread exists. Exits the process
// with a clear message when isolation cannot be set up.
void EnterPrivateNetwork();

// True once EnterPrivateNetwork() has succeeded and every thread of the
// process is in the private namespace; checked before anything is sent.
bool InPrivateNetwork();

// Aborts the test run loudly unless InPrivateNetwork().
void RequirePrivateNetwork();

// Faults of the PC's own network: its side of the veth pair down (and up
// again with its default route), or only the default route removed (and
// added again). Both wait until the change has taken effect.
void SetPcLink(bool up);
void SetDefaultRoute(bool present);

// Runs `ip ARGUMENTS` in this process's current network namespace; exits
// the process with a clear message when it fails.
void RunIpHere(const std::vector<std::string>& arguments);

// /proc path of the far side's network namespace.
std::string FarNamespacePath();

// A second LAN behind a second interface, for tests that need a PC with two
// adapters: veth nb-pc2 with 192.168.2.10/24 here (no route of its own, so a
// limited broadcast still leaves through nb-pc), its far end nb-far2 with
// 172.16.0.2/16 in a namespace of its own. Opt-in: binaries that never call
// it keep the one LAN. Call after EnterPrivateNetwork(); idempotent.
inline constexpr const char* second_pc_address = "192.168.2.10";
inline constexpr const char* second_far_address = "172.16.0.2";
void AddSecondLan();
std::string SecondFarNamespacePath();

}  // namespace nimbrel::test
