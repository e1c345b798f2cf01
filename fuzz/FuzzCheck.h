#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run when a property of the code under test does not hold. The fuzzer treats the
// abort like a crash: it saves the input and reports the message printed before it.
#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)
