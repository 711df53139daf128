// Any bytes as a device announcement and as a text answer: decoding reads
// only the datagram's own bytes, the texts have their fixed forms, and a
// stored entry reads back as its texts.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "core/device.h"
#include "core/exchange.h"
#include "core/messages.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nimbrel;
  const std::span<const std::uint8_t> datagram(data, size);

  const Announcement announcement = DecodeAnnouncement(datagram);
  const std::uint8_t* fields[] = {announcement.id.data(),      announcement.gateway.data(),
                                  announcement.netmask.data(), announcement.ip.data(),
                                  announcement.mac.data(),     announcement.dns.data()};
  const std::size_t offsets[] = {0, 4, 8, 12, 16, 22};
  const std::size_t widths[] = {4, 4, 4, 4, 6, 4};
  for (std::size_t f = 0; f < 6; ++f)
    for (std::size_t i = 0; i < widths[f]; ++i) {
      const std::size_t at = offsets[f] + i;
      FUZZ_CHECK(fields[f][i] == (at < size ? data[at] : 0), "field %zu byte %zu", f, i);
    }

  const AnnouncementTexts texts = FormatAnnouncement(announcement);
  FUZZ_CHECK(texts.id.size() == 4, "id of %zu characters", texts.id.size());
  FUZZ_CHECK(texts.mac.size() == 17, "MAC text of %zu characters", texts.mac.size());
  const std::pair<const std::u16string*, const IPv4Bytes*> addresses[] = {
      {&texts.ip, &announcement.ip},
      {&texts.gateway, &announcement.gateway},
      {&texts.netmask, &announcement.netmask},
      {&texts.dns, &announcement.dns}};
  for (const auto& [text, bytes] : addresses) {
    FUZZ_CHECK(text->size() >= 7 && text->size() <= 15, "address of %zu characters", text->size());
    FUZZ_CHECK(ParseIPv4(*text) == *bytes, "ParseIPv4 undoes FormatIPv4");
  }

  TDevice device;
  StoreAnnouncement(device, announcement, texts);
  FUZZ_CHECK(device.mac == announcement.mac, "stored MAC");
  FUZZ_CHECK(device.id.Read() == texts.id && device.ip.Read() == texts.ip &&
                 device.gateway.Read() == texts.gateway && device.netmask.Read() == texts.netmask &&
                 device.dns_addr.Read() == texts.dns && device.mac_text.Read() == texts.mac,
             "stored texts read back");

  const std::u16string answer = DecodeAnswerText(datagram);
  FUZZ_CHECK(answer.size() == size, "answer of %zu characters for %zu bytes", answer.size(), size);
  for (std::size_t i = 0; i < size; ++i)
    FUZZ_CHECK(answer[i] == (data[i] < 128 ? data[i] : u'\uFFFD'), "answer character %zu", i);
  const bool tagged = size >= 4 && data[0] == 'S' && data[1] == 'E' && data[2] == 'T' && data[3] == 'R';
  FUZZ_CHECK(IsConfigurationReply(answer) == tagged, "SETR test");
  return 0;
}
