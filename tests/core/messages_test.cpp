#include <gtest/gtest.h>

#include <vector>

#include "core/exchange.h"
#include "core/messages.h"

namespace nimbrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Message>
Bytes ToBytes(const Message& message) {
  return {message.begin(), message.end()};
}

// 41 42 43 31 | C0 A8 01 01 | FF FF FF 00 | C0 A8 01 32 | 00 1A 2B 3C 4D 5E | 0A 00 00 01
const Bytes announcement_fixture{0x41, 0x42, 0x43, 0x31, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                                 0xA8, 0x01, 0x32, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x0A, 0x00, 0x00, 0x01};

TEST(Requests, AreLaidOutByteForByte) {
  EXPECT_EQ(ToBytes(BuildSearchRequest()), (Bytes{0x53, 0x52, 0x43, 0x48}));

  const MacBytes mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  EXPECT_EQ(ToBytes(BuildConfigurationRequest({192, 168, 1, 1}, {255, 255, 255, 0}, {192, 168, 1, 20}, mac,
                                              {8, 8, 4, 4})),
            (Bytes{0x53, 0x45, 0x54, 0x51, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                   0xA8, 0x01, 0x14, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x08, 0x08, 0x04, 0x04}));

  EXPECT_EQ(ToBytes(BuildCommandMessage(u"REBT", {192, 168, 1, 1}, {255, 255, 255, 0}, {192, 168, 1, 50}, mac)),
            (Bytes{0x52, 0x45, 0x42, 0x54, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0, 0xA8, 0x01,
                   0x32, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  // Only the low 8 bits of each character travel, and only four of them.
  const auto wide = BuildCommandMessage(u"\u0141\u00E9Zq!", {}, {}, {}, {});
  EXPECT_EQ(Bytes(wide.begin(), wide.begin() + 4), (Bytes{0x41, 0xE9, 0x5A, 0x71}));
}

TEST(Announcement, DecodesTheListedTexts) {
  const Announcement decoded = DecodeAnnouncement(announcement_fixture);
  const AnnouncementTexts texts = FormatAnnouncement(decoded);
  EXPECT_EQ(texts.id, u"ABC1");
  EXPECT_EQ(texts.ip, u"192.168.1.50");
  EXPECT_EQ(texts.gateway, u"192.168.1.1");
  EXPECT_EQ(texts.netmask, u"255.255.255.0");
  EXPECT_EQ(texts.dns, u"10.0.0.1");
  EXPECT_EQ(texts.mac, u"00.1A.2B.3C.4D.5E");

  TDevice device;
  device.id.Store(u"a much longer earlier identifier");
  StoreAnnouncement(device, decoded, texts);
  EXPECT_EQ(device.id.Read(), u"ABC1");
  EXPECT_EQ(device.ip.Read(), u"192.168.1.50");
  EXPECT_EQ(device.gateway.Read(), u"192.168.1.1");
  EXPECT_EQ(device.netmask.Read(), u"255.255.255.0");
  EXPECT_EQ(device.dns_addr.Read(), u"10.0.0.1");
  EXPECT_EQ(device.mac_text.Read(), u"00.1A.2B.3C.4D.5E");
  EXPECT_EQ(device.mac, (MacBytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));

  Bytes longer = announcement_fixture;
  longer.resize(40, 0x77);
  EXPECT_EQ(FormatAnnouncement(DecodeAnnouncement(longer)).mac, u"00.1A.2B.3C.4D.5E");
  EXPECT_EQ(FormatAnnouncement(DecodeAnnouncement(longer)).dns, u"10.0.0.1");
}

TEST(Announcement, AShortDatagramReadsZeroWhereItEnds) {
  // The receive buffer still holds a longer earlier datagram; only the
  // datagram's own 10 bytes may count.
  CollectionBuffer buffer{};
  std::copy(announcement_fixture.begin(), announcement_fixture.end(), buffer.begin());
  const Bytes short_datagram{0x58, 0x59, 0x5A, 0x32, 0x0A, 0x00, 0x00, 0xFE, 0xFF, 0xFF};
  std::copy(short_datagram.begin(), short_datagram.end(), buffer.begin());

  const AnnouncementTexts texts = FormatAnnouncement(DecodeAnnouncement(std::span(buffer.data(), 10)));
  EXPECT_EQ(texts.id, u"XYZ2");
  EXPECT_EQ(texts.gateway, u"10.0.0.254");
  EXPECT_EQ(texts.netmask, u"255.255.0.0");
  EXPECT_EQ(texts.ip, u"0.0.0.0");
  EXPECT_EQ(texts.mac, u"00.00.00.00.00.00");
  EXPECT_EQ(texts.dns, u"0.0.0.0");
  EXPECT_EQ(FormatAnnouncement(DecodeAnnouncement({})).id, (std::u16string(4, u'\0')));
}

TEST(AnswerText, DecodesBytesAndRecognisesTheConfigurationReply) {
  struct Case {
    Bytes bytes;
    std::u16string text;
    bool acknowledges;
  };
  const Case cases[] = {
      {{0x53, 0x45, 0x54, 0x52, 0xE9}, u"SETR\uFFFD", true},
      {{0x53, 0x45, 0x54}, u"SET", false},
      {{0x73, 0x65, 0x74, 0x72}, u"setr", false},
      {{0x53, 0x45, 0x54, 0x52}, u"SETR", true},
      {{0x00, 0x53, 0x45, 0x54, 0x52}, std::u16string(u"\0SETR", 5), false},
      {{0x53, 0x45, 0x54, 0x00, 0x80, 0x7F}, std::u16string(u"SET\0\uFFFD\u007F", 6), false},
      {{0xD3, 0x45, 0x54, 0x52}, u"\uFFFDETR", false},
      {{}, u"", false},
  };
  for (const auto& c : cases) {
    const std::u16string text = DecodeAnswerText(c.bytes);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(text.size(), c.bytes.size());
    EXPECT_EQ(IsConfigurationReply(text), c.acknowledges);
  }
}

}  // namespace
}  // namespace nimbrel
