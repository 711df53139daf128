#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

#include "core/device.h"

namespace nimbrel {
namespace {

std::u16string U(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

TEST(AddressText, FormatsAddressesMacsAndIds) {
  EXPECT_EQ(FormatIPv4({192, 168, 0, 10}), u"192.168.0.10");
  EXPECT_EQ(FormatIPv4({0, 0, 0, 0}), u"0.0.0.0");
  EXPECT_EQ(FormatIPv4({255, 255, 255, 255}), u"255.255.255.255");
  EXPECT_EQ(FormatIPv4({10, 0, 100, 7}), u"10.0.100.7");
  EXPECT_EQ(FormatMac({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), u"00.1A.2B.3C.4D.5E");
  EXPECT_EQ(FormatMac({0xFF, 0x0F, 0xF0, 0xAB, 0x01, 0x10}), u"FF.0F.F0.AB.01.10");
  EXPECT_EQ(FormatId({0x41, 0x42, 0x43, 0x44}), u"ABCD");
  const std::u16string with_zero = FormatId({0x41, 0x00, 0xE9, 0xFF});
  ASSERT_EQ(with_zero.size(), 4u);
  EXPECT_EQ(with_zero, (std::u16string{u'A', u'\0', u'\u00E9', u'\u00FF'}));
}

struct ParseCase {
  const char* text;
  IPv4Bytes bytes;
};

constexpr IPv4Bytes rejected{0xFF, 0xFF, 0xFF, 0xFF};

TEST(ParseIPv4, FollowsInetAddrRules) {
  const ParseCase cases[] = {
      {"192.168.1.20", {0xC0, 0xA8, 0x01, 0x14}},
      {"0.0.0.0", {0, 0, 0, 0}},
      {"255.255.255.255", rejected},
      {"10.1.2", {10, 1, 0, 2}},          // a.b.c: c fills 16 bits
      {"10.65535", {10, 0, 255, 255}},    // a.b: b fills 24 bits
      {"3232235796", {0xC0, 0xA8, 0x01, 0x14}},
      {"0xC0.0250.1.0x14", {0xC0, 0xA8, 0x01, 0x14}},  // hex and octal parts
      {"0XFF.0.0.1", {0xFF, 0, 0, 1}},
      {"010.0.0.1", {8, 0, 0, 1}},
      {"1.2.3.4 trailing", {1, 2, 3, 4}},  // white space ends the address
      {"", rejected},
      {"abc", rejected},
      {"1.2.3.256", rejected},
      {"256.1.1.1", rejected},
      {"1.2.3.4.5", rejected},
      {"1..2.3", rejected},
      {"1.2.3.", rejected},
      {".1.2.3", rejected},
      {" 1.2.3.4", rejected},
      {"08.1.1.1", rejected},
      {"0x.1.1.1", rejected},
      {"1.2.65536", rejected},
      {"1.16777216", rejected},
      {"4294967296", rejected},
      {"0x100000000", rejected},
      {"1.2.3.4x", rejected},
      {"-1.2.3.4", rejected},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIPv4(U(c.text)), c.bytes) << '"' << c.text << '"';
  EXPECT_EQ(ParseIPv4(u"1.2.3.\u0100"), rejected) << "a character outside the code page";
}

// A NUL character ends the text, where inet_addr stops reading its C string:
// what follows a pasted NUL is not part of the address.
TEST(ParseIPv4, EndsTheTextAtItsFirstNul) {
  using namespace std::string_literals;
  EXPECT_EQ(ParseIPv4(u"1.2.3.4\0x"s), (IPv4Bytes{1, 2, 3, 4}));
  EXPECT_EQ(ParseIPv4(u"10.0.0.1\0"s), (IPv4Bytes{10, 0, 0, 1}));
  EXPECT_EQ(ParseIPv4(u"1.2\0.3.4"s), (IPv4Bytes{1, 0, 0, 2}));
  EXPECT_EQ(ParseIPv4(u"1.2.3.\0"s), rejected);
  EXPECT_EQ(ParseIPv4(u"\0" u"1.2.3.4"s), rejected);
}

#ifdef _WIN32
bool UnderWine() { return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }
#else
bool UnderWine() { return false; }
#endif

// The platform's own inet_addr is the reference for the rules above.
TEST(ParseIPv4, AgreesWithThePlatformInetAddr) {
  std::mt19937 random(20161804);
  const std::string alphabet = std::string("0123456789.xXaAfFg .\0", 21);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int length = static_cast<int>(random() % 16);
    for (int j = 0; j < length; ++j) text.push_back(alphabet[random() % alphabet.size()]);
    // Wine's inet_addr gives 0.0.0.0 for a text of spaces, as Windows XP did;
    // Windows since Server 2003 rejects it, as ParseIPv4 does. inet_addr reads
    // only up to the first NUL.
    const std::string read_by_inet_addr = text.c_str();
    if (UnderWine() && !read_by_inet_addr.empty() && read_by_inet_addr.find_first_not_of(' ') == std::string::npos)
      continue;
    const auto reference = ::inet_addr(text.c_str());
    static_assert(sizeof reference == 4);
    IPv4Bytes expected;
    std::memcpy(expected.data(), &reference, 4);
    ASSERT_EQ(ParseIPv4(U(text)), expected) << '"' << text << '"';
  }
}

TEST(ParseIPv4, UndoesFormatIPv4) {
  std::mt19937 random(7);
  for (int i = 0; i < 5000; ++i) {
    const IPv4Bytes bytes{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                          static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())};
    ASSERT_EQ(ParseIPv4(FormatIPv4(bytes)), bytes);
  }
}

TEST(ShortText, KeepsTheFirst25CharactersInTheCodePage) {
  ShortText field;
  EXPECT_TRUE(field.Empty());
  field.Store(u"123456789012345678901234567890");
  EXPECT_EQ(field.Length(), 25u);
  EXPECT_EQ(field.Read(), u"1234567890123456789012345");
  field.Store(u"00.1A.2B.3C.4D.5E");
  EXPECT_EQ(field.Read(), u"00.1A.2B.3C.4D.5E");
  EXPECT_EQ(field.Bytes(), "00.1A.2B.3C.4D.5E");
  field.Store(u"\u00E9t\u20AC");  // é fits ISO-8859-1, € does not
  EXPECT_EQ(field.Bytes(), std::string("\xE9t?"));
  EXPECT_EQ(field.Read(), u"\u00E9t?");
  field.StoreBytes(std::string("A\0B", 3));
  EXPECT_EQ(field.Length(), 3u);
  field.Store(u"");
  EXPECT_TRUE(field.Empty());
  EXPECT_EQ(field, ShortText{}) << "a shorter text leaves no tail of a longer one behind";
}

TEST(DeviceTables, StartEmptyAndRefuseIndexesOutsideOneToHundred) {
  EXPECT_EQ(device_count, 0);
  for (int i = 1; i <= 100; ++i) {
    ASSERT_EQ(devices[i], TDevice{});
    ASSERT_EQ(adapters[i], TDevice{});
  }
  EXPECT_EQ(devices[100].mac, (MacBytes{0, 0, 0, 0, 0, 0}));
  for (int bad : {0, -1, 101, 1000}) {
    EXPECT_THROW(devices[bad], std::out_of_range) << bad;
    EXPECT_THROW(adapters[bad].ip.Store(u"1.2.3.4"), std::out_of_range) << bad;
  }
  static_assert(sizeof(TDevice) < 200, "a record holds its text inline, no pointers");
}

}  // namespace
}  // namespace nimbrel
