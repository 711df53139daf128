// The command line of nimbrel: any words (split at NUL bytes) give a command
// or a usage error, never an exception, and a command holds only what the
// parser promises: waits and deadlines in range, addresses that pass the
// settings check, a four-character printable command.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "core/address_validation.h"
#include "fuzz_check.h"

namespace {

using namespace nimbrel;

void CheckDiscovery(const cli::DiscoveryOptions& options) {
  FUZZ_CHECK(options.wait.count() >= 250 && options.wait <= cli::longest_wait, "wait %lld ms",
             static_cast<long long>(options.wait.count()));
  const double deadline = options.deadline.count();
  FUZZ_CHECK(std::isfinite(deadline) && deadline > 0 && deadline <= cli::longest_deadline_seconds, "deadline %g",
             deadline);
}

void CheckAddress(const std::optional<std::string>& address) {
  if (!address) return;
  const std::u16string text(address->begin(), address->end());
  FUZZ_CHECK(ParseDottedDecimal(text).has_value(), "address '%s' taken", address->c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) words.emplace_back();
    else words.back().push_back(static_cast<char>(data[i]));
  }
  if (size == 0) words.clear();

  const auto parsed = cli::ParseCommandLine(words);
  if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
    FUZZ_CHECK(!error->message.empty(), "a usage error without a message");
    return 0;
  }
  const auto& command = std::get<cli::Command>(parsed);
  if (const auto* text = std::get_if<cli::ShowText>(&command)) {
    FUZZ_CHECK(!text->text.empty(), "empty --help or --version text");
  } else if (const auto* discover = std::get_if<cli::DiscoverCommand>(&command)) {
    CheckDiscovery(discover->discovery);
  } else if (const auto* config = std::get_if<cli::ConfigCommand>(&command)) {
    CheckDiscovery(config->discovery);
    for (const auto* address : {&config->ip, &config->netmask, &config->gateway, &config->dns}) CheckAddress(*address);
  } else if (const auto* send = std::get_if<cli::SendCommand>(&command)) {
    CheckDiscovery(send->discovery);
    FUZZ_CHECK(send->command.size() == 4, "command of %zu characters", send->command.size());
    for (char16_t c : send->command) FUZZ_CHECK(c >= 0x20 && c < 0x7F, "command character %u", unsigned{c});
  }

  for (const auto& word : words)
    if (const auto mac = cli::ParseMacArgument(word)) {
      const std::u16string text = FormatMac(*mac);
      FUZZ_CHECK(cli::ParseMacArgument(std::string(text.begin(), text.end())) == mac, "MAC round trip");
    }
  return 0;
}
