// One datagram exchange: a fresh endpoint on the tool port, one request
// broadcast to the device port, the answers within the answer wait, and the
// endpoint closed again.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/udp_endpoint.h"

namespace nimbrel {

inline constexpr std::uint16_t device_port = 1444;
inline constexpr std::uint16_t tool_port = 8444;
inline constexpr const char* destination_address = "255.255.255.255";
inline constexpr std::chrono::milliseconds answer_wait{250};
inline constexpr std::size_t collection_buffer_size = 512;
inline constexpr std::size_t text_answer_buffer_size = 8192;

using CollectionBuffer = std::array<std::uint8_t, collection_buffer_size>;

enum class Collect { more, stop };

// Called once per non-empty datagram with the whole collection buffer and the
// datagram's length. Bytes past the length keep what was there before.
using DatagramHandler = std::function<Collect(const CollectionBuffer& buffer, std::size_t length)>;
// Called with a failure of the exchange or of the datagram handler while the
// endpoint is still open; the endpoint closes when it returns.
using FailureHandler = std::function<void(const std::exception& failure)>;

// Sends the request and hands every datagram to on_datagram until a receive
// yields nothing or on_datagram says stop. Without on_failure a failure is
// thrown after the endpoint has closed.
void BroadcastAndCollect(std::span<const std::uint8_t> request, const DatagramHandler& on_datagram,
                         const FailureHandler& on_failure = {});

// Sends the request and returns the one answer received as text, or the
// empty text when none came within the answer wait. The endpoint is closed
// before a failure is thrown.
std::u16string BroadcastAndReceiveText(std::span<const std::uint8_t> request);

// How an exchange may differ from the program's own: a longer answer wait
// for a slow network, an end to a collection that answers keep prolonging,
// and the request sent once through each of a list of interfaces (system
// indexes) instead of the way the system routes a limited broadcast.
struct ExchangeSettings {
  std::chrono::milliseconds wait = answer_wait;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  std::vector<unsigned> interfaces;
};

enum class CollectEnd { quiet, stopped, deadline };

// BroadcastAndCollect under these settings; a failure is thrown after the
// endpoint has closed. Says whether a quiet answer wait, the handler or the
// deadline ended the collection.
CollectEnd BroadcastAndCollect(std::span<const std::uint8_t> request, const ExchangeSettings& settings,
                               const DatagramHandler& on_datagram);

// Sends the request and returns the bytes of the one answer received, none
// when no answer came within the wait. The endpoint is closed before a
// failure is thrown.
std::vector<std::uint8_t> BroadcastAndReceive(std::span<const std::uint8_t> request,
                                              const ExchangeSettings& settings);

// One character per byte: below 128 its own code (zero included), 128 or
// more U+FFFD.
std::u16string DecodeAnswerText(std::span<const std::uint8_t> bytes);

}  // namespace nimbrel
