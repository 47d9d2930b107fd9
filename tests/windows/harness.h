#pragma once
// A small test harness for the programs that run under Wine: named checks
// that report what they saw, grouped into cases that the main program runs.

#include <cstdint>
#include <string>

namespace wintest {

// Records a failed check with what was expected and what came instead.
void Fail(const char* file, int line, const std::string& what);
int FailureCount();

std::string Describe(int64_t value);
std::string Describe(const std::string& value);

#define WT_CHECK(condition)                                                    \
  do {                                                                         \
    if (!(condition)) ::wintest::Fail(__FILE__, __LINE__, "not true: " #condition); \
  } while (0)

#define WT_CHECK_EQ(actual, expected)                                              \
  do {                                                                             \
    const auto wtActual = (actual);                                                \
    const auto wtExpected = (expected);                                            \
    if (!(wtActual == wtExpected)) {                                               \
      ::wintest::Fail(__FILE__, __LINE__,                                          \
                      #actual " is " + ::wintest::Describe(wtActual) + ", expected " + \
                          ::wintest::Describe(wtExpected));                        \
    }                                                                              \
  } while (0)

// Milliseconds on a monotonic clock.
double NowMs();

}  // namespace wintest
