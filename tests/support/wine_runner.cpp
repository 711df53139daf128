// wine-in-private-network: runs one Windows test program under Wine inside a
// private network of its own.
//
//   wine-in-private-network --prefix-template DIR PROGRAM.exe [ARGUMENTS...]
//
// Wine creates every socket in its wineserver, so the server is started here,
// after the network namespace is entered, on a fresh copy of the prepared
// Wine prefix that no other server can share, and it is ended here as well.
// The Windows side cannot start a process in the far namespace nor change
// the network itself; it asks this runner over a loopback TCP connection:
//   "start\tARG..." -> "ready\tLOG\tSTATE", nimbrel-sim running in the far
//                      namespace until "stop" or the connection closes -> "stopped"
//   "ip\tARG..."    -> "done" or "failed": `ip ARG...` run in the private network
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "private_network.h"
#include "simulator.h"

namespace {

using nimbrel::test::Simulator;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "wine-in-private-network: %s\n", why.c_str());
  std::exit(2);
}

// A runner that fails ends at once; its Wine server and programs must not
// outlive it and hold the test's output open until the test times out.
void EndWithRunner() { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }

// Runs a program with its arguments and returns its exit status (128 + signal
// when it was killed).
int Run(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) Fail("fork failed");
  if (child == 0) {
    EndWithRunner();
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "wine-in-private-network: cannot start %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (::read(fd, &c, 1) == 1) {
    if (c == '\n') return line;
    line += c;
  }
  return line.empty() ? std::string("stop") : line;
}

void Write(int fd, const std::string& text) { (void)!::write(fd, text.data(), text.size()); }

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (true) {
    const auto tab = line.find('\t', at);
    words.push_back(line.substr(at, tab - at));
    if (tab == std::string::npos) return words;
    at = tab + 1;
  }
}

// One connection of the Windows side: one request, or one simulator, stopped
// when asked or when the connection closes.
void Serve(int connection) {
  const auto words = SplitTabs(ReadLine(connection));
  std::unique_ptr<Simulator> simulator;
  if (words[0] == "ip") {
    Write(connection, Run(words) == 0 ? "done\n" : "failed\n");
  } else if (words[0] == "start") {
    try {
      simulator = std::make_unique<Simulator>(std::vector<std::string>(words.begin() + 1, words.end()));
      Write(connection, "ready\t" + simulator->log_path() + "\t" + simulator->state_path() + "\n");
      ReadLine(connection);
      simulator.reset();
      Write(connection, "stopped\n");
    } catch (const std::exception& failure) {
      Write(connection, std::string("failed\t") + failure.what() + "\n");
    }
  }
  ::close(connection);
}

// Listens on 127.0.0.1 of the private network; returns the port.
std::uint16_t StartSimulatorService() {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) != 0)
    Fail("cannot open the simulator service");
  std::thread([listener] {
    while (true) {
      const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) return;
      std::thread(Serve, connection).detach();
    }
  }).detach();
  return ntohs(local.sin_port);
}

// The prefix's files are hard links to the template's, which is quick and
// takes no space, except the registry and other top-level files that Wine
// rewrites in place.
void CopyPrefix(const std::string& from, const std::string& to) {
  if (Run({"cp", "-al", from, to}) != 0) Fail("cannot copy the Wine prefix " + from);
  namespace fs = std::filesystem;
  for (const auto& entry : fs::directory_iterator(from)) {
    if (!entry.is_regular_file()) continue;
    const fs::path own = fs::path(to) / entry.path().filename();
    fs::remove(own);
    fs::copy_file(entry.path(), own);
  }
}

ino_t NamespaceOf(pid_t pid) {
  struct stat info {};
  if (::stat(("/proc/" + std::to_string(pid) + "/ns/net").c_str(), &info) != 0) return 0;
  return info.st_ino;
}

}  // namespace

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  if (argc < 4 || std::string(argv[1]) != "--prefix-template")
    Fail("usage: wine-in-private-network --prefix-template DIR PROGRAM.exe [ARGUMENTS...]");
  const std::string template_prefix = std::filesystem::absolute(argv[2]).lexically_normal().string();
  if (!std::filesystem::is_directory(template_prefix)) Fail("no Wine prefix at " + template_prefix);

  // Beside the template, on its file system, so that hard links work.
  std::string directory = std::filesystem::path(template_prefix).parent_path() / "run-XXXXXX";
  if (!::mkdtemp(directory.data())) Fail("cannot make a directory for the Wine prefix");
  const std::string prefix = directory + "/prefix";
  CopyPrefix(template_prefix, prefix);
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  ::setenv("WINEDEBUG", "-all", 1);
  ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
  ::setenv("NIMBREL_PRIVATE_NETWORK", "wine", 1);

  const std::uint16_t service_port = StartSimulatorService();
  ::setenv("NIMBREL_RUNNER_SERVICE", std::to_string(service_port).c_str(), 1);

  // The server of this prefix, in this namespace, for the whole run.
  const pid_t server = ::fork();
  if (server < 0) Fail("fork failed");
  if (server == 0) {
    EndWithRunner();
    ::execlp("wineserver", "wineserver", "--foreground", "--persistent", nullptr);
    ::_exit(127);
  }
  int status = 0;
  if (NamespaceOf(server) != NamespaceOf(::getpid())) {
    ::kill(server, SIGKILL);
    Fail("the wineserver is not in the private network");
  }

  std::vector<std::string> command{"wine"};
  command.insert(command.end(), argv + 3, argv + argc);
  const int result = Run(command);

  Run({"wineserver", "--kill"});
  if (::waitpid(server, &status, 0) != server) Fail("the wineserver did not end");
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
  return result;
}
