#include "core/exchange.h"

#include <memory>
#include <optional>

namespace nimbrel {

namespace {

// Steps shared by both forms: a fresh endpoint on the tool port, broadcast
// allowed after the bind, the request sent once.
void OpenAndSend(UdpEndpoint& endpoint, std::span<const std::uint8_t> request) {
  endpoint.BindAny(tool_port);
  endpoint.EnableBroadcast();
  endpoint.SendTo(request, destination_address, device_port);
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
  auto buffer = std::make_unique<std::array<std::uint8_t, text_answer_buffer_size>>();
  std::size_t length = 0;
  {
    UdpEndpoint endpoint;
    OpenAndSend(endpoint, request);
    length = endpoint.Receive(*buffer, answer_wait);
  }
  return DecodeAnswerText(std::span(buffer->data(), length));
}

std::u16string DecodeAnswerText(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (std::uint8_t b : bytes) text.push_back(b < 128 ? static_cast<char16_t>(b) : u'\uFFFD');
  return text;
}

}  // namespace nimbrel
