// Runs one parsed command: the result on `out`, messages on `err`.
#pragma once

#include <ostream>

#include "cli/command_line.h"

namespace nimbrel::cli {

// Returns the exit status. Catches every failure and reports it on err.
int RunCommand(const Command& command, std::ostream& out, std::ostream& err);

}  // namespace nimbrel::cli
