// A station inside this process, on the PC's own address. It answers each
// request that reaches the device port with the datagrams of its script, one
// at a time: the first at once, each further one only after Release(), so a
// sequence of any sizes arrives whole and in order, with no socket buffer to
// overflow. Needs the private network (EnterPrivateNetwork) first.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbrel::test {

using Datagram = std::vector<std::uint8_t>;

class ScriptedStation {
 public:
  ScriptedStation();  // binds 0.0.0.0 on the device port
  ~ScriptedStation();
  ScriptedStation(const ScriptedStation&) = delete;
  ScriptedStation& operator=(const ScriptedStation&) = delete;

  // The answer to the next request; an answer still in progress is dropped.
  void Script(std::vector<Datagram> datagrams);
  // Lets the next datagram of the current answer go.
  void Release();
  // The requests received so far, in order.
  std::vector<Datagram> Requests() const;

 private:
  void Serve();
  void Answer(std::uint64_t generation, const void* to, unsigned to_length);

  int socket_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Datagram> script_;
  std::vector<Datagram> requests_;
  std::uint64_t generation_ = 0;
  std::size_t permits_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace nimbrel::test
