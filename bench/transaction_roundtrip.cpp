// Round trip of one reader transaction through the exports against the
// virtual reader on a pty, next to the same bytes over a bare pty pair with
// a trivial echo peer; and the processor time of an open, idle reader.
//
//   transaction_roundtrip [transactions]

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "VqhwLib.h"
#include "bare_pty.h"
#include "sim/hosts/pty_host.h"
#include "sim/reader/reader_model.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

std::vector<double> LibraryRoundTrips(int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    auto start = Clock::now();
    if (SAM_reset_h() != 0) std::fprintf(stderr, "transaction %d failed\n", i);
    samples.push_back(Micros(Clock::now() - start).count());
  }
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
  const double library = vqbench::Median(LibraryRoundTrips(count));
  const double bare = vqbench::Median(vqbench::BarePtyRoundTripsUs(count));
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
