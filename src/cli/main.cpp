// nimbrel: discover, configure and command Nimbrel stations from scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto parsed = nimbrel::cli::ParseCommandLine(arguments);
    if (const auto* usage = std::get_if<nimbrel::cli::UsageError>(&parsed)) {
      std::cerr << "nimbrel: " << usage->message << '\n';
      return nimbrel::cli::exit_usage;
    }
    const int status = nimbrel::cli::RunCommand(std::get<nimbrel::cli::Command>(parsed), std::cout, std::cerr);
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "nimbrel: standard output could not be written.\n";
      return nimbrel::cli::exit_network;
    }
    return status;
  } catch (const std::exception& failure) {
    std::cerr << "nimbrel: " << failure.what() << '\n';
    return nimbrel::cli::exit_network;
  }
}
