#include "simulation.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "platform.h"

namespace nimbrel::sim {

namespace {

using std::chrono::milliseconds;

constexpr std::size_t receive_buffer_size = 65536;  // any UDP datagram, whole
constexpr std::size_t oversize_length = 600;
constexpr std::uint8_t oversize_filler = 0x4F;
constexpr std::uint8_t extra_filler = 0xEE;
constexpr std::size_t mac_offset = 16;
constexpr std::size_t command_length = command_message_size;

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view tag) {
  return bytes.size() >= tag.size() && std::equal(tag.begin(), tag.end(), bytes.begin(),
                                                  [](char t, std::uint8_t b) { return static_cast<std::uint8_t>(t) == b; });
}

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

std::string FormatEndpoint(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

class Simulation {
 public:
  Simulation(const Options& options, std::vector<Station> stations);
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  void Run();

 private:
  bool Stopping() const;
  // Sleeps, still noticing a stop; false when it is time to stop.
  bool WaitFor(milliseconds span);
  void ReceiveWaiting();
  void Handle(std::span<const std::uint8_t> datagram, const sockaddr_in& from);
  void Log(std::span<const std::uint8_t> datagram, const sockaddr_in& from);
  void AnswerSearch(const sockaddr_in& from);
  void Configure(std::span<const std::uint8_t> request, const sockaddr_in& from);
  void RecordCommand(std::span<const std::uint8_t> message);
  void WriteState() const;
  sockaddr_in ReplyAddress(const sockaddr_in& from) const;
  bool Send(std::span<const std::uint8_t> datagram, const sockaddr_in& to);
  bool HasMac(const Station& station, std::span<const std::uint8_t> message) const;

  const Options& options_;
  std::vector<Station> stations_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(receive_buffer_size);
  std::unique_ptr<DatagramSocket> socket_;
  std::FILE* log_ = nullptr;
  std::optional<Clock::time_point> deadline_;
};

Simulation::Simulation(const Options& options, std::vector<Station> stations)
    : options_(options), stations_(std::move(stations)) {
  InstallStopHandlers();
  if (!options_.log_path.empty()) {
    log_ = std::fopen(options_.log_path.c_str(), "wb");
    if (!log_) throw SystemError("cannot open the log file " + options_.log_path);
  }
  WriteState();

  socket_ = std::make_unique<DatagramSocket>(options_.port);
}

Simulation::~Simulation() {
  if (log_) std::fclose(log_);
}

void Simulation::Run() {
  std::fputs("nimbrel-sim: ready\n", stdout);
  std::fflush(stdout);
  if (options_.duration_seconds)
    deadline_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(*options_.duration_seconds));
  while (!Stopping())
    if (socket_->WaitReadable(deadline_)) ReceiveWaiting();
}

bool Simulation::Stopping() const { return StopRequested() || (deadline_ && Clock::now() >= *deadline_); }

bool Simulation::WaitFor(milliseconds span) {
  const auto until = Clock::now() + span;
  while (true) {
    SleepAWhile(deadline_ ? std::min(until, *deadline_) : until);
    if (Stopping()) return false;
    if (Clock::now() >= until) return true;
  }
}

void Simulation::ReceiveWaiting() {
  while (!Stopping()) {
    sockaddr_in from{};
    const std::optional<std::size_t> length = socket_->ReceiveWaiting(buffer_, from);
    if (!length) return;
    Handle(std::span(buffer_).first(*length), from);
  }
}

void Simulation::Handle(std::span<const std::uint8_t> datagram, const sockaddr_in& from) {
  try {
    Log(datagram, from);
    if (StartsWith(datagram, "SRCH")) {
      AnswerSearch(from);
    } else if (StartsWith(datagram, "SETQ")) {
      if (datagram.size() >= configuration_request_size) Configure(datagram, from);
    } else if (datagram.size() == command_length) {
      RecordCommand(datagram);
    }
  } catch (const std::exception& failure) {
    // One bad moment must not end the simulation for everybody else.
    std::fprintf(stderr, "nimbrel-sim: %s\n", failure.what());
  }
}

void Simulation::Log(std::span<const std::uint8_t> datagram, const sockaddr_in& from) {
  if (!log_) return;
  const long long now_ms = std::chrono::duration_cast<milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch()).count();
  std::fprintf(log_, "{\"time\":%lld.%03lld,\"from\":\"%s\",\"length\":%zu,\"hex\":\"%s\"}\n", now_ms / 1000,
               now_ms % 1000, FormatEndpoint(from).c_str(), datagram.size(), Hex(datagram).c_str());
  // A full disk must not keep the stations from answering.
  if (std::fflush(log_) != 0)
    std::fprintf(stderr, "nimbrel-sim: cannot write the log file %s: %s\n", options_.log_path.c_str(),
                 std::strerror(errno));
}

void Simulation::AnswerSearch(const sockaddr_in& from) {
  const sockaddr_in to = ReplyAddress(from);
  std::uint64_t announced = 0;
  bool first = true;

  // One datagram of the answer after its delay or pause; false ends the answer.
  const auto emit = [&](std::span<const std::uint8_t> datagram, bool paced) {
    const std::uint32_t wait = first ? options_.delay_ms : paced ? options_.pause_ms : 0;
    first = false;
    return WaitFor(milliseconds(wait)) && Send(datagram, to);
  };
  const auto emit_odd_ones = [&](bool paced) {
    if (options_.oversize_after == announced &&
        !emit(std::vector<std::uint8_t>(oversize_length, oversize_filler), paced))
      return false;
    if (options_.empty_after == announced && !emit({}, paced)) return false;
    if (options_.short_after == announced && !stations_.empty()) {
      const auto announcement = EncodeAnnouncement(stations_[announced % stations_.size()]);
      if (!emit(std::span(announcement).first(options_.short_length), paced)) return false;
    }
    return true;
  };
  std::vector<std::uint8_t> datagram(announcement_size + options_.extra_bytes, extra_filler);
  const auto announce = [&](const Station& station, bool paced) {
    const auto announcement = EncodeAnnouncement(station);
    std::copy(announcement.begin(), announcement.end(), datagram.begin());
    if (!emit(datagram, paced)) return false;
    ++announced;
    return emit_odd_ones(paced);
  };

  if (!emit_odd_ones(true)) return;
  for (const Station& station : stations_)
    for (int copy = 0; copy < (options_.twice ? 2 : 1); ++copy)
      if (!announce(station, true)) return;
  for (std::uint32_t i = 0; i < options_.flood && !stations_.empty(); ++i)
    if (!announce(stations_[i % stations_.size()], false)) return;
}

void Simulation::Configure(std::span<const std::uint8_t> request, const sockaddr_in& from) {
  std::vector<const Station*> configured;
  for (Station& station : stations_) {
    if (!HasMac(station, request)) continue;
    const auto take = [&](IPv4Bytes& field, std::size_t offset) {
      std::copy_n(request.begin() + static_cast<std::ptrdiff_t>(offset), field.size(), field.begin());
    };
    take(station.gateway, 4);
    take(station.netmask, 8);
    take(station.ip, 12);
    take(station.dns, 22);
    configured.push_back(&station);
  }
  if (configured.empty()) return;
  WriteState();
  if (options_.config_reply == ConfigReply::none || !WaitFor(milliseconds(options_.config_delay_ms))) return;

  const sockaddr_in to = ReplyAddress(from);
  for (const Station* station : configured) {
    auto reply = EncodeAnnouncement(*station);
    std::size_t length = reply.size();
    const std::string_view tag = options_.config_reply == ConfigReply::lower ? "setr" : "SETR";
    std::copy(tag.begin(), tag.end(), reply.begin());
    if (options_.config_reply == ConfigReply::short_tag) length = 3;  // "SET"
    if (!Send(std::span(reply).first(length), to)) return;
  }
}

void Simulation::RecordCommand(std::span<const std::uint8_t> message) {
  bool recorded = false;
  for (Station& station : stations_) {
    if (!HasMac(station, message)) continue;
    Command command{};
    std::copy_n(message.begin(), command.size(), command.begin());
    station.commands.push_back(command);
    recorded = true;
  }
  if (recorded) WriteState();
}

bool Simulation::HasMac(const Station& station, std::span<const std::uint8_t> message) const {
  return std::equal(station.mac.begin(), station.mac.end(), message.begin() + mac_offset);
}

void Simulation::WriteState() const {
  if (options_.state_path.empty()) return;
  // Readers see the old file or the new one, never half of one.
  const std::string temporary = options_.state_path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) throw SystemError("cannot write the state file " + temporary);
  bool written = true;
  for (const Station& station : stations_) written = written && std::fprintf(file, "%s\n", StateLine(station).c_str()) >= 0;
  written = std::fclose(file) == 0 && written;
  if (!written || !ReplaceFile(temporary, options_.state_path))
    throw SystemError("cannot write the state file " + options_.state_path);
}

sockaddr_in Simulation::ReplyAddress(const sockaddr_in& from) const {
  if (options_.reply_to == ReplyTo::sender) return from;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  to.sin_port = htons(options_.tool_port);
  return to;
}

bool Simulation::Send(std::span<const std::uint8_t> datagram, const sockaddr_in& to) {
  const std::string failure = socket_->SendTo(datagram, to);
  if (failure.empty()) return true;
  std::fprintf(stderr, "nimbrel-sim: cannot send to %s: %s; the rest of this answer is dropped\n",
               FormatEndpoint(to).c_str(), failure.c_str());
  return false;
}

}  // namespace

void RunSimulation(const Options& options, std::vector<Station> stations) {
  Simulation simulation(options, std::move(stations));
  simulation.Run();
}

}  // namespace nimbrel::sim
