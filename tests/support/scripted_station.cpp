#include "scripted_station.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/exchange.h"
#include "private_network.h"

namespace nimbrel::test {

namespace {

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::abort();
}

}  // namespace

ScriptedStation::ScriptedStation() {
  RequirePrivateNetwork();
  socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (socket_ < 0) Fail("scripted station: socket");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(device_port);
  if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    Fail("scripted station: bind to the device port");
  thread_ = std::thread([this] { Serve(); });
}

ScriptedStation::~ScriptedStation() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  ::close(socket_);
}

void ScriptedStation::Script(std::vector<Datagram> datagrams) {
  {
    std::lock_guard lock(mutex_);
    script_ = std::move(datagrams);
    ++generation_;
  }
  changed_.notify_all();
}

void ScriptedStation::Release() {
  {
    std::lock_guard lock(mutex_);
    ++permits_;
  }
  changed_.notify_all();
}

std::vector<Datagram> ScriptedStation::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedStation::Serve() {
  Datagram request(65536);
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, 20) <= 0) continue;
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    const ssize_t length = ::recvfrom(socket_, request.data(), request.size(), 0,
                                      reinterpret_cast<sockaddr*>(&from), &from_length);
    if (length < 0) continue;
    std::uint64_t generation;
    {
      std::lock_guard lock(mutex_);
      requests_.emplace_back(request.begin(), request.begin() + length);
      generation = generation_;
      permits_ = 1;
    }
    Answer(generation, &from, from_length);
  }
}

void ScriptedStation::Answer(std::uint64_t generation, const void* to, unsigned to_length) {
  for (std::size_t next = 0;; ++next) {
    Datagram datagram;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || generation_ != generation || permits_ > 0; });
      if (stopping_ || generation_ != generation || next >= script_.size()) return;
      --permits_;
      datagram = script_[next];
    }
    if (::sendto(socket_, datagram.data(), datagram.size(), 0, static_cast<const sockaddr*>(to), to_length) < 0)
      Fail("scripted station: sendto");
  }
}

}  // namespace nimbrel::test
