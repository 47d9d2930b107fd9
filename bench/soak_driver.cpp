// The lane's day in a few minutes: N transactions through the exports
// against the reader on COM1 (scripts/soak.sh puts vqhw-sim there), with the
// process's resident memory, open descriptors and threads before and after.
//
//   soak_driver TRANSACTIONS

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "VqhwLib.h"

namespace {

long StatusField(const char* name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name, 0) == 0) return std::strtol(line.c_str() + std::strlen(name), nullptr, 10);
  }
  return -1;
}

long OpenDescriptors() {
  DIR* fds = ::opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  long count = 0;
  while (const dirent* entry = ::readdir(fds)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(fds);
  return count - 1;  // the directory being read
}

void Report(const char* when) {
  std::printf("%-6s rss %ld kB, descriptors %ld, threads %ld\n", when, StatusField("VmRSS:"),
              OpenDescriptors(), StatusField("Threads:"));
}

}  // namespace

int main(int argc, char** argv) {
  const long transactions = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  if (open_reader(1, 0) != 0) {
    std::fprintf(stderr, "soak: no reader on COM1\n");
    return 1;
  }
  Report("start");
  const auto start = std::chrono::steady_clock::now();
  long failures = 0;
  char reply[VQHW_REPLY_TEXT_SIZE];
  for (long i = 0; i < transactions; ++i) {
    // The PSAM's reset, and a GET CHALLENGE through its APDU channel.
    const int32_t result = i % 2 == 0 ? SAM_reset_h() : sam_command_h("0084000004", reply);
    if (result != 0) ++failures;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Report("end");
  close_reader();
  Report("closed");
  std::printf("%ld transactions in %.1f s (%.0f a second), %ld failed\n", transactions, seconds,
              transactions / seconds, failures);
  return failures == 0 ? 0 : 1;
}
