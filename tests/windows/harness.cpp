#include "harness.h"

#include <windows.h>

#include <cstdio>

namespace wintest {

namespace {
int failures = 0;
}

void Fail(const char* file, int line, const std::string& what) {
  ++failures;
  std::printf("  FAILED at %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stdout);
}

int FailureCount() { return failures; }

std::string Describe(int64_t value) { return std::to_string(value); }

// Texts may be GBK: printable ASCII stays, everything else is shown in hex.
std::string Describe(const std::string& value) {
  std::string shown = "\"";
  char hex[8];
  for (unsigned char c : value) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    }
  }
  return shown + "\"";
}

double NowMs() {
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace wintest
