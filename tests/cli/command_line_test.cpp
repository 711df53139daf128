// The command line of nimbrel as words in, command or usage error out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_line.h"

namespace nimbrel::cli {
namespace {

std::variant<Command, UsageError> Parse(std::vector<std::string> words) { return ParseCommandLine(words); }

template <typename Wanted>
Wanted Expect(std::vector<std::string> words) {
  const auto parsed = Parse(words);
  if (const auto* usage = std::get_if<UsageError>(&parsed)) ADD_FAILURE() << "usage error: " << usage->message;
  const auto* command = std::get_if<Command>(&parsed);
  if (!command || !std::holds_alternative<Wanted>(*command)) {
    ADD_FAILURE() << "not the command expected";
    return {};
  }
  return std::get<Wanted>(*command);
}

TEST(CliCommandLine, DiscoverTakesItsFormatWaitDeadlineAndInterfaces) {
  const auto plain = Expect<DiscoverCommand>({"discover"});
  EXPECT_EQ(plain.format, Format::table);
  EXPECT_EQ(plain.discovery.wait, std::chrono::milliseconds(250));
  EXPECT_EQ(plain.discovery.deadline.count(), 10.0);
  EXPECT_FALSE(plain.discovery.all_interfaces);

  const auto full = Expect<DiscoverCommand>({"discover", "--csv", "--wait=600", "--deadline", "2.5", "--all-interfaces"});
  EXPECT_EQ(full.format, Format::csv);
  EXPECT_EQ(full.discovery.wait, std::chrono::milliseconds(600));
  EXPECT_EQ(full.discovery.deadline.count(), 2.5);
  EXPECT_TRUE(full.discovery.all_interfaces);
  EXPECT_EQ(Expect<DiscoverCommand>({"discover", "--json"}).format, Format::json);
}

TEST(CliCommandLine, MacInEachWrittenForm) {
  const MacBytes mac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  for (const char* text : {"00.1A.2B.3C.4D.5E", "00:1a:2b:3c:4d:5e", "00-1A-2b-3C-4d-5E"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseMacArgument(text), mac);
  }
  for (const char* text : {"", "00.1A.2B.3C.4D", "00.1A.2B.3C.4D.5E.6F", "00:1A-2B:3C:4D:5E", "001A2B3C4D5E",
                           "0G.1A.2B.3C.4D.5E", "00.1A.2B.3C.4D.5 ", "+0.1A.2B.3C.4D.5E", "00_1A_2B_3C_4D_5E"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseMacArgument(text), std::nullopt);
  }
}

TEST(CliCommandLine, ConfigKeepsWhatIsNotGiven) {
  const auto config = Expect<ConfigCommand>({"config", "00:1a:2b:3c:4d:5e", "--ip", "10.0.0.9", "--verify"});
  EXPECT_EQ(config.mac, (MacBytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  EXPECT_EQ(config.ip, "10.0.0.9");
  EXPECT_EQ(config.netmask, std::nullopt);
  EXPECT_EQ(config.gateway, std::nullopt);
  EXPECT_EQ(config.dns, std::nullopt);
  EXPECT_TRUE(config.verify);
}

TEST(CliCommandLine, SendTakesExactlyFourPrintableCharacters) {
  const auto send = Expect<SendCommand>({"send", "00.1A.2B.3C.4D.5E", "RB T", "--show-answer"});
  EXPECT_EQ(send.command, u"RB T");
  EXPECT_TRUE(send.show_answer);
}

TEST(CliCommandLine, HelpAndVersionAreTextsToShow) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--help"}, {"discover", "--help"}, {"config", "-h"}, {"send", "--help"}, {"adapters", "--help"}}) {
    const auto shown = Expect<ShowText>(words);
    EXPECT_NE(shown.text.find("Exit status:"), std::string::npos) << words.front();
    EXPECT_NE(shown.text.find("3  network failure"), std::string::npos);
  }
  EXPECT_NE(Expect<ShowText>({"config", "--help"}).text.find("--verify"), std::string::npos);
  EXPECT_EQ(Expect<ShowText>({"--version"}).text, "nimbrel " NIMBREL_TEST_VERSION "\n");
}

TEST(CliCommandLine, UsageErrorsNameWhatIsWrong) {
  const struct {
    std::vector<std::string> words;
    std::string says;
  } cases[] = {
      {{}, "A subcommand is required"},
      {{"scan"}, "'scan' is not a command"},
      {{"discover", "--json", "--csv"}, "--json excludes --csv"},
      {{"discover", "--wait", "249"}, "--wait"},
      {{"discover", "--wait", "60001"}, "--wait"},
      {{"discover", "--wait", "abc"}, "--wait"},
      {{"discover", "--deadline", "0"}, "--deadline"},
      {{"discover", "--deadline", "-1"}, "--deadline"},
      {{"discover", "--deadline", "nan"}, "--deadline"},
      {{"discover", "extra"}, "extra"},
      {{"config"}, "MAC"},
      {{"config", "00.1A.2B.3C.4D"}, "'00.1A.2B.3C.4D' is not a MAC address"},
      {{"config", "00.1A.2B.3C.4D.5E", "--ip", "10.0.0"}, "IP Address \"10.0.0\" is not an IPv4 address"},
      {{"config", "00.1A.2B.3C.4D.5E", "--ip", "0.0.0.0"}, "cannot be a station's address"},
      {{"config", "00.1A.2B.3C.4D.5E", "--ip", "255.255.255.255"}, "cannot be a station's address"},
      {{"config", "00.1A.2B.3C.4D.5E", "--mask", "255.0.255.0"}, "Network mask \"255.0.255.0\" is not a network mask"},
      {{"config", "00.1A.2B.3C.4D.5E", "--gateway", "0x0a.0.0.1"}, "Gateway \"0x0a.0.0.1\""},
      {{"config", "00.1A.2B.3C.4D.5E", "--dns", "1.2.3.256"}, "DNS \"1.2.3.256\""},
      {{"config", "00.1A.2B.3C.4D.5E", "--dns", "1.2.3.4\x1b[2J"}, "DNS \"1.2.3.4\\x1B[2J\""},
      {{"config", "00.1A.2B.3C.4D.5E", "--dns", "1.2.3.4\xc2\x9b"}, "DNS \"1.2.3.4\\x9B\""},
      {{"send", "00.1A.2B.3C.4D.5E", "ABC"}, "Command Length of 4 characters!"},
      {{"send", "00.1A.2B.3C.4D.5E", "ABCDE"}, "Command Length of 4 characters!"},
      {{"send", "00.1A.2B.3C.4D.5E", "AB\x01" "D"}, "printable ASCII"},
      {{"send", "00.1A.2B.3C.4D.5E", "AB\xc3\xa9"}, "printable ASCII"},
      {{"send", "00.1A.2B.3C.4D.5E"}, "CMD"},
      {{"adapters", "--csv"}, "--csv"},
  };
  for (const auto& [words, says] : cases) {
    std::string joined;
    for (const auto& word : words) joined += word + " ";
    SCOPED_TRACE(joined);
    const auto parsed = Parse(words);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_NE(std::get<UsageError>(parsed).message.find(says), std::string::npos) << std::get<UsageError>(parsed).message;
  }
}

}  // namespace
}  // namespace nimbrel::cli
