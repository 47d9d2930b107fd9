#pragma once
// The one way a fuzz target reports a broken property: it names the check
// and aborts, which libFuzzer records as a finding with its input and which
// fails a corpus replay.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                     \
  do {                                                                            \
    if (!(condition)) {                                                           \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                               \
    }                                                                             \
  } while (false)
