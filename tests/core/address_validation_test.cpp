#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "core/address_validation.h"

namespace nimbrel {
namespace {

std::u16string U(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

TEST(ParseDottedDecimal, AcceptsOnlyFourDecimalNumbers) {
  const struct {
    const char* text;
    std::optional<IPv4Bytes> bytes;
  } cases[] = {
      {"192.168.1.20", IPv4Bytes{192, 168, 1, 20}},
      {"192.168.001.010", IPv4Bytes{192, 168, 1, 10}},  // leading zeros are decimal, not octal
      {"0.0.0.0", IPv4Bytes{0, 0, 0, 0}},
      {"255.255.255.255", IPv4Bytes{255, 255, 255, 255}},
      {"000255.0.0.1", IPv4Bytes{255, 0, 0, 1}},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1.2.3.256", std::nullopt},
      {"1..2.3", std::nullopt},
      {".1.2.3", std::nullopt},
      {"1.2.3.", std::nullopt},
      {" 1.2.3.4", std::nullopt},
      {"1.2.3.4 ", std::nullopt},
      {"0x1.2.3.4", std::nullopt},
      {"3232235796", std::nullopt},
      {"-1.2.3.4", std::nullopt},
      {"1,2,3,4", std::nullopt},
      {"99999999999999999999.1.1.1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDottedDecimal(U(c.text)), c.bytes) << c.text;
  // A pasted NUL or a character beyond Latin-1 never counts as a digit.
  EXPECT_EQ(ParseDottedDecimal(std::u16string(u"1.2.3.4\0x", 9)), std::nullopt);
  EXPECT_EQ(ParseDottedDecimal(u"1.2.3.\uFF14"), std::nullopt);  // fullwidth digit four
  EXPECT_EQ(ParseDottedDecimal(std::u16string{u'1', u'.', u'2', u'.', u'3', u'.', static_cast<char16_t>(0x0134)}),
            std::nullopt);  // low byte is '4'
}

TEST(IsContiguousMask, OneBitsFromTheLeftOnly) {
  EXPECT_TRUE(IsContiguousMask({255, 255, 255, 0}));
  EXPECT_TRUE(IsContiguousMask({255, 255, 255, 252}));
  EXPECT_TRUE(IsContiguousMask({255, 128, 0, 0}));
  EXPECT_TRUE(IsContiguousMask({0, 0, 0, 0}));
  EXPECT_TRUE(IsContiguousMask({255, 255, 255, 255}));
  EXPECT_FALSE(IsContiguousMask({255, 0, 255, 0}));
  EXPECT_FALSE(IsContiguousMask({0, 0, 0, 255}));
  EXPECT_FALSE(IsContiguousMask({255, 255, 255, 253}));
  EXPECT_FALSE(IsContiguousMask({127, 255, 255, 0}));
}

TEST(ValidateSettings, GivesTheBytesTheUserRead) {
  const auto result = ValidateSettings({u"192.168.001.010", u"255.255.255.000", u"192.168.1.1", u"0.0.0.0"});
  ASSERT_TRUE(std::holds_alternative<IPv4Settings>(result));
  EXPECT_EQ(std::get<IPv4Settings>(result),
            (IPv4Settings{{192, 168, 1, 10}, {255, 255, 255, 0}, {192, 168, 1, 1}, {0, 0, 0, 0}}));
}

TEST(ValidateSettings, NamesTheFirstFieldAtFault) {
  const SettingsTexts good{u"10.0.0.5", u"255.0.0.0", u"10.0.0.1", u"10.0.0.1"};
  const struct {
    SettingsTexts texts;
    SettingsProblem problem;
  } cases[] = {
      {{u"", good.netmask, good.gateway, good.dns}, {SettingsField::ip, SettingsFault::not_dotted_decimal, u""}},
      {{u"10.0.0", good.netmask, good.gateway, good.dns},
       {SettingsField::ip, SettingsFault::not_dotted_decimal, u"10.0.0"}},
      {{u"0.0.0.0", good.netmask, good.gateway, good.dns},
       {SettingsField::ip, SettingsFault::address_not_usable, u"0.0.0.0"}},
      {{u"255.255.255.255", good.netmask, good.gateway, good.dns},
       {SettingsField::ip, SettingsFault::address_not_usable, u"255.255.255.255"}},
      {{good.ip, u"255.0.255.0", good.gateway, good.dns},
       {SettingsField::netmask, SettingsFault::mask_not_contiguous, u"255.0.255.0"}},
      {{good.ip, u"255.255.255.256", good.gateway, good.dns},
       {SettingsField::netmask, SettingsFault::not_dotted_decimal, u"255.255.255.256"}},
      {{good.ip, good.netmask, u"10.0.0.1x", good.dns},
       {SettingsField::gateway, SettingsFault::not_dotted_decimal, u"10.0.0.1x"}},
      {{good.ip, good.netmask, good.gateway, u" "}, {SettingsField::dns, SettingsFault::not_dotted_decimal, u" "}},
      // Every field wrong: the address is named first.
      {{u"a", u"b", u"c", u"d"}, {SettingsField::ip, SettingsFault::not_dotted_decimal, u"a"}},
  };
  for (const auto& c : cases) {
    const auto result = ValidateSettings(c.texts);
    ASSERT_TRUE(std::holds_alternative<SettingsProblem>(result));
    EXPECT_EQ(std::get<SettingsProblem>(result), c.problem);
  }
}

TEST(ValidateField, ChecksOneFieldAsTheWholeSetWould) {
  EXPECT_EQ(std::get<IPv4Bytes>(ValidateField(SettingsField::gateway, u"010.0.0.1")), (IPv4Bytes{10, 0, 0, 1}));
  EXPECT_EQ(std::get<IPv4Bytes>(ValidateField(SettingsField::dns, u"0.0.0.0")), (IPv4Bytes{0, 0, 0, 0}));
  EXPECT_EQ(std::get<SettingsProblem>(ValidateField(SettingsField::ip, u"0.0.0.0")),
            (SettingsProblem{SettingsField::ip, SettingsFault::address_not_usable, u"0.0.0.0"}));
  EXPECT_EQ(std::get<SettingsProblem>(ValidateField(SettingsField::netmask, u"0.255.0.0")),
            (SettingsProblem{SettingsField::netmask, SettingsFault::mask_not_contiguous, u"0.255.0.0"}));
}

TEST(DescribeProblem, NamesTheFieldAndQuotesItsText) {
  EXPECT_EQ(DescribeProblem({SettingsField::ip, SettingsFault::not_dotted_decimal, u"192.168.1.300"}),
            "IP Address \"192.168.1.300\" is not an IPv4 address. Type four numbers from 0 to 255 separated "
            "by dots, such as 192.168.1.20.");
  EXPECT_EQ(DescribeProblem({SettingsField::netmask, SettingsFault::mask_not_contiguous, u"255.0.255.0"}),
            "Network mask \"255.0.255.0\" is not a network mask. Its one bits must run unbroken from the left, "
            "such as 255.255.255.0.");
  EXPECT_EQ(DescribeProblem({SettingsField::ip, SettingsFault::address_not_usable, u"0.0.0.0"}),
            "IP Address \"0.0.0.0\" cannot be a station's address. Type the address the station is to have, "
            "such as 192.168.1.20.");
  // Control characters are escaped, other characters kept as UTF-8.
  const std::string quoted =
      DescribeProblem({SettingsField::dns, SettingsFault::not_dotted_decimal, std::u16string(u"1\0\n\u00E9\u009B", 5)});
  EXPECT_TRUE(quoted.starts_with("DNS \"1\\x00\\x0A\xC3\xA9\\x9B\" is not")) << quoted;  // C1 CSI escaped too
  EXPECT_EQ(SettingsFieldName(SettingsField::gateway), "Gateway");
}

}  // namespace
}  // namespace nimbrel
