// How close whole lane transactions come to what the wire and the cards
// allow, against the virtual reader with real timing: a full MIFARE 1K
// read (16 authentications, 64 blocks) and the CPU card purchase with the
// PSAM's MAC1 and MAC2. The limit of a run is every byte's time on the
// host line plus the card time of every command (the real profile).
//
// A run's time over its limit has two parts. The reader's part runs from
// its first sight of a command to its write of the answer's last byte;
// over the limit, that is its own timers waking late. The host part is
// the rest: the library's write and the reader's wake-up for it, and from
// the answer's last byte to the export's return, with the library's work
// between the exchanges of one export. The host part per exchange is set
// beside a bare pty round trip with a trivial peer. That round trip wakes
// two threads, the peer and the client; an exchange through the library
// wakes three, the reader, the receive worker and then the caller, to
// whom the worker hands the frame.
//
//   lane_timing [runs]

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "VqhwLib.h"
#include "bare_pty.h"
#include "lane_purchase.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/hosts/pty_host.h"
#include "sim/reader/reader_model.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;
using vqbench::Median;

// The virtual reader with real timing on COM1, counting the bytes on the
// line and timing each exchange from the reader's side.
struct Lane {
  vqsim::VirtualReader reader;
  std::atomic<size_t> lineBytes{0};
  std::unique_ptr<vqsim::PtyHost> host;
  std::mutex lock;
  Clock::duration readerBusy{};  // first command byte seen to last answer byte written, summed
  Clock::time_point commandSeen{};  // zero: no exchange open
  Clock::time_point lastAnswer{};   // zero: no answer to the open exchange yet

  Lane() {
    reader.SetTiming(vqsim::TimingProfile::Real());
    vqsim::LineHost::Events events;
    events.traffic = [this](vqsim::LineHost::Direction direction, std::span<const uint8_t> bytes) {
      const Clock::time_point now = Clock::now();
      lineBytes += bytes.size();
      std::lock_guard guard(lock);
      if (direction == vqsim::LineHost::Direction::kToHost) {
        lastAnswer = now;
        return;
      }
      // Host bytes after an answer start the next exchange; before one,
      // they are more of the same command.
      if (lastAnswer != Clock::time_point{}) CloseExchange();
      if (commandSeen == Clock::time_point{}) commandSeen = now;
    };
    host = std::make_unique<vqsim::PtyHost>(reader, std::move(events));
    ::setenv("VQHW_COM1", host->SlavePath().c_str(), 1);
  }
  void CloseExchange() {
    if (lastAnswer != Clock::time_point{}) readerBusy += lastAnswer - commandSeen;
    commandSeen = lastAnswer = Clock::time_point{};
  }
  // Wire and card time since `bytes` and `card` were taken.
  double LimitMs(size_t bytes, vqsim::Micros card) const {
    return Ms(static_cast<int64_t>(lineBytes - bytes) * reader.ByteTime() + (reader.CardTimeSoFar() - card)).count();
  }
  // The reader's busy time since the last call.
  Clock::duration TakeReaderBusy() {
    std::lock_guard guard(lock);
    CloseExchange();
    return std::exchange(readerBusy, Clock::duration{});
  }
};

struct Run {
  double ms = 0;
  double limitMs = 0;
  double readerMs = 0;  // the reader's busy time, its limit included
  int exchanges = 0;
  bool ok = true;
  double HostUsPerExchange() const { return 1000 * (ms - readerMs) / exchanges; }
  double ReaderLateUsPerExchange() const { return 1000 * (readerMs - limitMs) / exchanges; }
};

// `body` returns the number of exchanges it made, negative on a failure.
template <typename Body>
Run Measure(Lane& lane, Body body) {
  const size_t bytes = lane.lineBytes;
  const vqsim::Micros card = lane.reader.CardTimeSoFar();
  lane.TakeReaderBusy();
  const Clock::time_point start = Clock::now();
  const int exchanges = body();
  Run run;
  run.ms = Ms(Clock::now() - start).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the log sees the last answer
  run.limitMs = lane.LimitMs(bytes, card);
  run.readerMs = Ms(lane.TakeReaderBusy()).count();
  run.exchanges = std::abs(exchanges);
  run.ok = exchanges >= 0;
  return run;
}

int ReadWholeCard() {
  unsigned char record[5] = {};
  if (opencard(record) != 0) return -1;
  int exchanges = 1;  // the activation
  const unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  unsigned char block[16];
  for (int sector = 0; sector < 16; ++sector) {
    if (loadkey(0, sector, key) != 0) return -exchanges;
    exchanges += 2;  // load key, authenticate
    for (int i = 0; i < 4; ++i) {
      if (readblock(0, 4 * sector + i, block) != 0) return -exchanges;
      ++exchanges;
    }
  }
  return exchanges;
}

// The median shows a typical run; the best, the one least disturbed by
// the rest of the machine (a preempted thread costs milliseconds, not
// microseconds).
// False when a run failed.
bool Print(const char* name, const std::vector<Run>& runs) {
  std::vector<double> ratios;
  bool ok = true;
  for (const Run& run : runs) {
    ratios.push_back(run.ms / run.limitMs);
    if (!run.ok) std::printf("  %s: a run failed\n", name);
    ok = ok && run.ok;
  }
  const Run& last = runs.back();
  std::printf("%-18s limit %8.2f ms, %3d exchanges: ratio median %.3f, best %.3f, of %zu runs\n", name, last.limitMs,
              last.exchanges, Median(ratios), *std::min_element(ratios.begin(), ratios.end()), runs.size());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf("lane_timing %d: the virtual reader with real timing, host line 115200 8N1\n", runs);
  Lane lane;
  auto mifare = std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4});
  lane.reader.InsertCard(mifare);
  if (open_reader(1, 0) != 0) {
    std::fprintf(stderr, "open_reader failed\n");
    return 1;
  }
  std::vector<Run> cardReads, purchases;
  for (int i = 0; i < runs; ++i) cardReads.push_back(Measure(lane, ReadWholeCard));
  lane.reader.RemoveCard(mifare.get());
  auto cpuCard = std::make_shared<vqsim::CpuCard>();
  lane.reader.InsertCard(cpuCard);
  for (int i = 0; i < runs; ++i) purchases.push_back(Measure(lane, [] { return vqbench::Purchase(1); }));
  close_reader();

  // Both are printed, whatever the first one says.
  const bool readsOk = Print("MIFARE 1K read", cardReads);
  const bool purchasesOk = Print("CPU card purchase", purchases);
  const bool ok = readsOk && purchasesOk;
  std::vector<double> host, late;
  for (const std::vector<Run>* kind : {&cardReads, &purchases}) {
    for (const Run& run : *kind) {
      host.push_back(run.HostUsPerExchange());
      late.push_back(run.ReaderLateUsPerExchange());
    }
  }
  const std::vector<double> bare = vqbench::BarePtyRoundTripsUs(2000);
  const double best = *std::min_element(host.begin(), host.end());
  const double bareBest = *std::min_element(bare.begin(), bare.end());
  std::printf("over the limit per exchange, median: the reader's timers %.1f us, the host %.1f us\n", Median(late),
              Median(host));
  std::printf("host part per exchange %.1f us (best %.1f), bare pty round trip %.1f us (best %.1f): ratio %.2f (best %.2f)\n",
              Median(host), best, Median(bare), bareBest, Median(host) / Median(bare), best / bareBest);
  return ok ? 0 : 1;
}
