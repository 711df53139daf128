#include "private_network.h"

#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace nimbrel::test {

namespace {

constexpr const char* pc_link = "nb-pc";
constexpr const char* far_link = "nb-far";
constexpr const char* second_pc_link = "nb-pc2";
constexpr const char* second_far_link = "nb-far2";

ino_t machine_namespace = 0;
pid_t far_holder = -1;
pid_t second_far_holder = -1;
bool entered = false;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr,
               "\nPRIVATE NETWORK FAILED: %s\n"
               "These tests send broadcasts and run only inside a private network namespace;\n"
               "they need root (CAP_SYS_ADMIN, CAP_NET_ADMIN) and iproute2. Nothing was sent.\n\n",
               why.c_str());
  std::fflush(stderr);
  std::_Exit(2);
}

ino_t NamespaceInode(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_ino;
}

std::vector<std::string> ThreadIds() {
  std::vector<std::string> ids;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(tasks))
      if (entry->d_name[0] != '.') ids.emplace_back(entry->d_name);
    ::closedir(tasks);
  }
  return ids;
}

// A thread that is ending gives up its namespaces (reading them then fails)
// a moment before its entry leaves /proc/self/task; such a thread can send
// nothing any more, so it counts as inside once its entry is gone.
bool ThreadInNamespace(const std::string& id, ino_t own) {
  const std::string task = "/proc/self/task/" + id;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    struct stat info {};
    if (::stat((task + "/ns/net").c_str(), &info) == 0) return info.st_ino == own;
    if (::access(task.c_str(), F_OK) != 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

std::string FindIp() {
  for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
    if (::access(candidate, X_OK) == 0) return candidate;
  Fail("the 'ip' command (package iproute2) was not found");
}

// Runs `ip ARGS` here, or in the namespace at far_path when it is given.
void RunIpIn(const std::vector<std::string>& arguments, const std::string& far_path) {
  const bool far = !far_path.empty();
  static const std::string ip = FindIp();
  std::vector<std::string> words{ip};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) Fail("fork failed");
  if (child == 0) {
    if (far) {
      const int fd = ::open(far_path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string command;
    for (const auto& word : words) command += word + " ";
    Fail("'" + command + "' failed" + (far ? " in " + far_path : ""));
  }
}

void RunIp(const std::vector<std::string>& arguments, bool far) {
  RunIpIn(arguments, far ? FarNamespacePath() : std::string());
}

void StopHolder(pid_t& holder) {
  if (holder > 0) {
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    holder = -1;
  }
}

void StopFarHolder() { StopHolder(far_holder); }
void StopSecondFarHolder() { StopHolder(second_far_holder); }

// A child that owns a far namespace for as long as this process lives.
pid_t StartHolder() {
  int ready[2];
  if (::pipe(ready) != 0) Fail("pipe failed");
  const pid_t parent = ::getpid();
  const pid_t holder = ::fork();
  if (holder < 0) Fail("fork failed");
  if (holder == 0) {
    ::close(ready[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(0);
    const char ok = ::unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
    ::close(ready[1]);
    while (true) ::pause();
  }
  ::close(ready[1]);
  char ok = 'n';
  const ssize_t got = ::read(ready[0], &ok, 1);
  ::close(ready[0]);
  if (got != 1 || ok != 'y') Fail("the far namespace could not be created");
  return holder;
}

void StartFarHolder() {
  far_holder = StartHolder();
  std::atexit(StopFarHolder);
}

bool LinkRunning(const char* name) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
  const bool running = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_RUNNING);
  ::close(fd);
  return running;
}

void WaitForLink(const char* link, bool running) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (LinkRunning(link) != running) {
    if (std::chrono::steady_clock::now() > give_up)
      Fail(std::string("the veth pair of ") + link + (running ? " did not come up" : " did not go down"));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

void SetPcLink(bool up) {
  RequirePrivateNetwork();
  RunIp({"link", "set", pc_link, up ? "up" : "down"}, false);
  WaitForLink(pc_link, up);
  if (up) SetDefaultRoute(true);
}

void SetDefaultRoute(bool present) {
  RequirePrivateNetwork();
  RunIp({"route", present ? "replace" : "delete", "default", "dev", pc_link}, false);
}

void RunIpHere(const std::vector<std::string>& arguments) { RunIp(arguments, false); }

std::string FarNamespacePath() { return "/proc/" + std::to_string(far_holder) + "/ns/net"; }

std::string SecondFarNamespacePath() { return "/proc/" + std::to_string(second_far_holder) + "/ns/net"; }

void AddSecondLan() {
  RequirePrivateNetwork();
  if (second_far_holder > 0) return;
  second_far_holder = StartHolder();
  std::atexit(StopSecondFarHolder);
  const std::string far = SecondFarNamespacePath();
  if (NamespaceInode(far) == machine_namespace) Fail("the second far side is the machine's namespace");
  RunIpIn({"link", "add", second_pc_link, "type", "veth", "peer", "name", second_far_link, "netns",
           std::to_string(second_far_holder)}, {});
  RunIpIn({"address", "add", std::string(second_pc_address) + "/24", "dev", second_pc_link}, {});
  RunIpIn({"link", "set", second_pc_link, "up"}, {});
  RunIpIn({"link", "set", "lo", "up"}, far);
  RunIpIn({"address", "add", std::string(second_far_address) + "/16", "dev", second_far_link}, far);
  RunIpIn({"link", "set", second_far_link, "up"}, far);
  RunIpIn({"route", "add", "default", "dev", second_far_link}, far);
  WaitForLink(second_pc_link, true);
}

void EnterPrivateNetwork() {
  if (entered) return;
  if (ThreadIds().size() != 1)
    Fail("EnterPrivateNetwork() must run before any thread starts; a namespace belongs to the thread that entered it");
  machine_namespace = NamespaceInode("/proc/self/ns/net");
  if (machine_namespace == 0) Fail("/proc/self/ns/net is not readable");
  if (::unshare(CLONE_NEWNET) != 0)
    Fail(std::string("unshare(CLONE_NEWNET) failed: ") + std::strerror(errno));
  if (NamespaceInode("/proc/self/ns/net") == machine_namespace) Fail("unshare left the process in the machine's namespace");

  StartFarHolder();
  if (NamespaceInode(FarNamespacePath()) == machine_namespace) Fail("the far side is the machine's namespace");

  RunIp({"link", "set", "lo", "up"}, false);
  RunIp({"link", "add", pc_link, "type", "veth", "peer", "name", far_link, "netns", std::to_string(far_holder)}, false);
  RunIp({"address", "add", std::string(pc_address) + "/24", "dev", pc_link}, false);
  RunIp({"link", "set", pc_link, "up"}, false);
  RunIp({"route", "add", "default", "dev", pc_link}, false);
  RunIp({"link", "set", "lo", "up"}, true);
  RunIp({"address", "add", std::string(far_address) + "/8", "dev", far_link}, true);
  RunIp({"link", "set", far_link, "up"}, true);
  RunIp({"route", "add", "default", "dev", far_link}, true);

  WaitForLink(pc_link, true);
  entered = true;
  if (!InPrivateNetwork()) Fail("isolation check failed after set-up");
}

bool InPrivateNetwork() {
  if (!entered) return false;
  const ino_t own = NamespaceInode("/proc/self/ns/net");
  if (own == 0 || own == machine_namespace) return false;
  for (const auto& id : ThreadIds())
    if (!ThreadInNamespace(id, own)) return false;
  return true;
}

void RequirePrivateNetwork() {
  if (!InPrivateNetwork())
    Fail("this process (or one of its threads) is not in its private network namespace; refusing to send");
}

}  // namespace nimbrel::test
