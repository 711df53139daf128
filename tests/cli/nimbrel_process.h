// Runs the built nimbrel in this test's private network and collects what
// it wrote and how it ended.
#pragma once

#include <string>
#include <vector>

#include "child_process.h"

namespace nimbrel::test {

// Started and left running; Finish() collects it.
ChildProcess StartNimbrel(const std::vector<std::string>& arguments);

Outcome RunNimbrel(const std::vector<std::string>& arguments);

}  // namespace nimbrel::test
