#include "sim/program/frame_log.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace vqsim::program {

LineHost::TrafficLog FrameLog(std::string label) {
  const auto start = std::chrono::steady_clock::now();
  return [start, label](LineHost::Direction direction, std::span<const uint8_t> bytes) {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::string line;
    char hex[4];
    for (uint8_t b : bytes) {
      std::snprintf(hex, sizeof hex, " %02X", b);
      line += hex;
    }
    std::fprintf(stderr, "%10.1f ms  %s%s%s\n", ms, label.c_str(),
                 direction == LineHost::Direction::kFromHost ? "host->reader" : "reader->host", line.c_str());
  };
}

}  // namespace vqsim::program
