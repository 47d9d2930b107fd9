#include "bare_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace vqbench {

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

std::vector<double> BarePtyRoundTripsUs(int count) {
  using Clock = std::chrono::steady_clock;
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(master);
  unlockpt(master);
  int client = ::open(ptsname(master), O_RDWR | O_NOCTTY);
  termios tio{};
  tcgetattr(client, &tio);
  cfmakeraw(&tio);
  tcsetattr(client, TCSANOW, &tio);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    uint8_t buffer[64];
    size_t pending = 0;
    while (!stop) {
      pollfd in{master, POLLIN, 0};
      if (::poll(&in, 1, 50) <= 0) continue;
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      for (pending += static_cast<size_t>(n); pending >= 5; pending -= 5) {
        const uint8_t answer[] = {0xFF, 0x00, 0x00, 0x00, 0xFF};
        if (::write(master, answer, sizeof answer) != 5) return;
      }
    }
  });
  const uint8_t frame[] = {0xFF, 0x00, 0x73, 0x00, 0x8C};
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const Clock::time_point start = Clock::now();
    tcflush(client, TCIOFLUSH);
    if (::write(client, frame, sizeof frame) != 5) break;
    size_t got = 0;
    uint8_t answer[5];
    while (got < sizeof answer) {
      const ssize_t n = ::read(client, answer + got, sizeof answer - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  stop = true;
  echo.join();
  ::close(client);
  ::close(master);
  return samples;
}

}  // namespace vqbench
