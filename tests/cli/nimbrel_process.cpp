#include "nimbrel_process.h"

#include <cstdlib>

namespace nimbrel::test {

ChildProcess StartNimbrel(const std::vector<std::string>& arguments) {
  // NIMBREL_CLI runs another build in its place, such as nimbrel.exe under Wine.
  const char* other = std::getenv("NIMBREL_CLI");
  std::vector<std::string> words{other ? other : NIMBREL_CLI_PATH};
  words.insert(words.end(), arguments.begin(), arguments.end());
  return ChildProcess(std::move(words));
}

Outcome RunNimbrel(const std::vector<std::string>& arguments) { return StartNimbrel(arguments).Finish(); }

}  // namespace nimbrel::test
