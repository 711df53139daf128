// A failed expectation in a fuzz target: print what differs and abort, so
// that libFuzzer records the input as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                          \
  do {                                                                      \
    if (!(condition)) {                                                     \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #condition,   \
                   __FILE__, __LINE__);                                     \
      std::fprintf(stderr, __VA_ARGS__);                                    \
      std::fprintf(stderr, "\n");                                           \
      std::abort();                                                         \
    }                                                                       \
  } while (false)
