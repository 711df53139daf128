#include "core/exchange.h"

#include <memory>
#include <optional>

namespace nimbrel {

namespace {

// Steps shared by both forms: a fresh endpoint on the tool port, broadcast
// allowed after the bind, the request sent once.
void OpenAndSend(UdpEndpoint& endpoint, std::span<const std::uint8_t> request,
                 const std::vector<unsigned>& interfaces = {}) {
  endpoint.BindAny(tool_port);
  endpoint.EnableBroadcast();
  if (interfaces.empty()) {
    endpoint.SendTo(request, destination_address, device_port);
    return;
  }
  for (const unsigned index : interfaces) endpoint.SendToVia(request, destination_address, device_port, index);
}

}  // namespace

void BroadcastAndCollect(std::span<const std::uint8_t> request, const DatagramHandler& on_datagram,
                         const FailureHandler& on_failure) {
  std::optional<UdpEndpoint> endpoint;
  try {
    endpoint.emplace();
    OpenAndSend(*endpoint, request);
    auto buffer = std::make_unique<CollectionBuffer>();
    buffer->fill(0);
    while (true) {
      const std::size_t length = endpoint->Receive(*buffer, answer_wait);
      if (length == 0 || on_datagram(*buffer, length) == Collect::stop) break;
    }
  } catch (const std::exception& error) {
    // Without a handler the failure leaves after the endpoint has closed.
    if (!on_failure) throw;
    on_failure(error);  // the endpoint is still open while the caller reports
  }
}

std::u16string BroadcastAndReceiveText(std::span<const std::uint8_t> request) {
  return DecodeAnswerText(BroadcastAndReceive(request, ExchangeSettings{}));
}

CollectEnd BroadcastAndCollect(std::span<const std::uint8_t> request, const ExchangeSettings& settings,
                               const DatagramHandler& on_datagram) {
  using clock = std::chrono::steady_clock;
  UdpEndpoint endpoint;
  OpenAndSend(endpoint, request, settings.interfaces);
  auto buffer = std::make_unique<CollectionBuffer>();
  buffer->fill(0);
  while (true) {
    auto wait = settings.wait;
    bool cut_by_deadline = false;
    if (settings.deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*settings.deadline - clock::now());
      if (left.count() <= 0) return CollectEnd::deadline;
      if (left < wait) {
        wait = left;
        cut_by_deadline = true;
      }
    }
    const std::size_t length = endpoint.Receive(*buffer, wait);
    if (length == 0)  // a quiet wait, or an empty datagram, which ends a collection as well
      return cut_by_deadline && clock::now() >= *settings.deadline ? CollectEnd::deadline : CollectEnd::quiet;
    if (on_datagram(*buffer, length) == Collect::stop) return CollectEnd::stopped;
  }
}

std::vector<std::uint8_t> BroadcastAndReceive(std::span<const std::uint8_t> request,
                                              const ExchangeSettings& settings) {
  auto buffer = std::make_unique<std::array<std::uint8_t, text_answer_buffer_size>>();
  std::size_t length = 0;
  {
    UdpEndpoint endpoint;
    OpenAndSend(endpoint, request, settings.interfaces);
    length = endpoint.Receive(*buffer, settings.wait);
  }
  return {buffer->begin(), buffer->begin() + static_cast<std::ptrdiff_t>(length)};
}

std::u16string DecodeAnswerText(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (std::uint8_t b : bytes) text.push_back(b < 128 ? static_cast<char16_t>(b) : u'\uFFFD');
  return text;
}

}  // namespace nimbrel
