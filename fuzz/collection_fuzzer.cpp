// Arbitrary sequences of datagrams, 0 to 65 507 bytes each, through the real
// exchange on a private network: a station in this process sends them one
// at a time. The first byte chooses the exchange: even, a collection that
// stores each datagram as discovery does (up to 100 entries); odd, a text
// answer. Then records: two bytes of size (little-endian, modulo 65 508),
// followed by up to that many bytes of content; the rest of a datagram is a
// pattern. A collection's script ends with an empty datagram.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "core/device.h"
#include "core/exchange.h"
#include "core/messages.h"
#include "fuzz_check.h"
#include "private_network.h"
#include "scripted_station.h"

namespace {

using nimbrel::test::Datagram;

constexpr std::size_t largest_datagram = 65507;
constexpr std::size_t most_datagrams = 120;
const std::string message_too_long = "Socket Error # 10040\nMessage too long.";

std::vector<Datagram> Script(const std::uint8_t* data, std::size_t size) {
  std::vector<Datagram> script;
  std::size_t at = 1;
  while (at + 2 <= size && script.size() < most_datagrams) {
    const std::size_t length = (data[at] | std::size_t{data[at + 1]} << 8) % (largest_datagram + 1);
    at += 2;
    Datagram datagram(length);
    for (std::size_t i = 0; i < length; ++i)
      datagram[i] = at < size ? data[at++] : static_cast<std::uint8_t>(i * 31 + length);
    script.push_back(std::move(datagram));
  }
  return script;
}

bool ToolPortFree() {
  try {
    nimbrel::UdpEndpoint probe;
    probe.BindAny(nimbrel::tool_port);
    return true;
  } catch (const nimbrel::NetworkError&) {
    return false;
  }
}

void CheckCollection(nimbrel::test::ScriptedStation& station, std::vector<Datagram> script) {
  using namespace nimbrel;
  script.push_back({});
  station.Script(script);

  // What the buffer must hold: each datagram over the tail of earlier ones.
  CollectionBuffer model{};
  std::size_t next = 0;
  std::vector<std::string> failures;
  BroadcastAndCollect(
      BuildSearchRequest(),
      [&](const CollectionBuffer& buffer, std::size_t length) {
        FUZZ_CHECK(next < script.size(), "more datagrams than sent");
        const Datagram& sent = script[next++];
        FUZZ_CHECK(length == sent.size() && !sent.empty() && sent.size() <= collection_buffer_size,
                   "datagram %zu handed over with %zu bytes, sent with %zu", next - 1, length, sent.size());
        std::copy(sent.begin(), sent.end(), model.begin());
        FUZZ_CHECK(buffer == model, "buffer after datagram %zu", next - 1);
        const int k = static_cast<int>(next);
        const Announcement announcement = DecodeAnnouncement(std::span(buffer.data(), length));
        StoreAnnouncement(devices[k], announcement, FormatAnnouncement(announcement));
        station.Release();
        return k == DeviceTable::capacity ? Collect::stop : Collect::more;
      },
      [&](const std::exception& failure) { failures.push_back(failure.what()); });

  // The first datagram not handed over explains the end.
  if (next < static_cast<std::size_t>(DeviceTable::capacity)) {
    FUZZ_CHECK(next < script.size(), "the collection ended without a reason");
    const Datagram& ending = script[next];
    if (ending.empty()) {
      FUZZ_CHECK(failures.empty(), "an empty datagram failed: %s", failures[0].c_str());
    } else {
      FUZZ_CHECK(ending.size() > collection_buffer_size, "datagram %zu of %zu bytes was not handed over", next,
                 ending.size());
      FUZZ_CHECK(failures.size() == 1 && failures[0] == message_too_long, "oversize datagram %zu", next);
    }
  } else {
    FUZZ_CHECK(failures.empty(), "failure after the hundredth entry");
  }
}

void CheckTextAnswer(nimbrel::test::ScriptedStation& station, const std::vector<Datagram>& script) {
  using namespace nimbrel;
  const Datagram answer = script.empty() ? Datagram{} : script[0];
  station.Script({answer});
  std::u16string text;
  std::string failure;
  try {
    text = BroadcastAndReceiveText(BuildSearchRequest());
  } catch (const NetworkError& error) {
    failure = error.what();
  }
  if (answer.size() > text_answer_buffer_size) {
    FUZZ_CHECK(failure == message_too_long, "answer of %zu bytes", answer.size());
  } else {
    FUZZ_CHECK(failure.empty() && text == DecodeAnswerText(answer), "answer of %zu bytes", answer.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Before libFuzzer starts any thread of its own.
  nimbrel::test::EnterPrivateNetwork();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* station = new nimbrel::test::ScriptedStation;
  if (size == 0) return 0;
  const std::vector<Datagram> script = Script(data, size);
  if (data[0] % 2 == 0) CheckCollection(*station, script);
  else CheckTextAnswer(*station, script);
  FUZZ_CHECK(ToolPortFree(), "the tool port is still held");
  return 0;
}
