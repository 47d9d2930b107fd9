// Round trip of one reader transaction through the exports against the
// virtual reader on a pty, next to the same bytes over a bare pty pair with
// a trivial echo peer; and the processor time of an open, idle reader.
//
//   transaction_roundtrip [transactions]

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "VqhwLib.h"
#include "sim/pty_host.h"
#include "sim/reader_model.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

std::vector<double> LibraryRoundTrips(int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    auto start = Clock::now();
    if (SAM_reset_h() != 0) std::fprintf(stderr, "transaction %d failed\n", i);
    samples.push_back(Micros(Clock::now() - start).count());
  }
  return samples;
}

// A pty pair whose master answers every 5 bytes with 5 bytes, and a raw
// client on the slave that writes a frame and waits for the answer.
std::vector<double> BarePtyRoundTrips(int count) {
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
      ssize_t n = ::read(master, buffer, sizeof buffer);
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
    auto start = Clock::now();
    tcflush(client, TCIOFLUSH);  // as the library purges before each write
    if (::write(client, frame, sizeof frame) != 5) break;
    size_t got = 0;
    uint8_t answer[5];
    while (got < sizeof answer) {
      ssize_t n = ::read(client, answer + got, sizeof answer - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    samples.push_back(Micros(Clock::now() - start).count());
  }
  stop = true;
  echo.join();
  ::close(client);
  ::close(master);
  return samples;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  vqsim::VirtualReader reader;
  reader.LimitHistory(16);
  vqsim::PtyHost host(reader);
  setenv("VQHW_COM1", host.SlavePath().c_str(), 1);
  if (open_reader(1, 0) != 0) {
    std::fprintf(stderr, "the virtual reader did not open\n");
    return 1;
  }
  const double library = Median(LibraryRoundTrips(count));
  const double bare = Median(BarePtyRoundTrips(count));
  std::printf("transactions: %d\n", count);
  std::printf("median round trip through the exports (PSAM reset): %.1f us\n", library);
  std::printf("median round trip of the same bytes over a bare pty:  %.1f us\n", bare);
  std::printf("ratio: %.2f\n", library / bare);

  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  std::printf("process CPU time over 5 s with the reader open and idle: %.3f ms\n",
              (ProcessCpuSeconds() - before) * 1000);
  close_reader();
  return 0;
}
