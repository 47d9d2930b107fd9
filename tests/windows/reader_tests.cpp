// The connection exports against virtual readers on mapped COM ports.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "library.h"
#include "ports.h"
#include "test_cases.h"

namespace wintest {

namespace {

double ProcessorMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

}  // namespace

void OpenInformationExchangeAndClose(const Setup& setup) {
  Library library;
  auto open_reader = VQHW_EXPORT(library, open_reader);
  auto close_reader = VQHW_EXPORT(library, close_reader);
  auto getreaderinfo = VQHW_EXPORT(library, getreaderinfo);
  auto SAM_reset_h = VQHW_EXPORT(library, SAM_reset_h);
  auto RF_reset_h = VQHW_EXPORT(library, RF_reset_h);

  WT_CHECK_EQ(open_reader(setup.reader, 12345), 0);  // the second argument is ignored
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kSuccess));

  char info[123];
  std::memset(info, 'x', sizeof info);
  WT_CHECK_EQ(getreaderinfo(info), 0);
  const std::string line(info, strnlen(info, sizeof info));
  WT_CHECK(line.size() < sizeof info);
  WT_CHECK(line.find("COM" + std::to_string(setup.reader) + " ") != std::string::npos);
  WT_CHECK(line.find(":115200") != std::string::npos);

  WT_CHECK_EQ(open_reader(setup.reader, 0), 0);  // an open reader is closed and opened again
  WT_CHECK_EQ(RF_reset_h(), 0);

  // One frame out, one back, through the worker: prompt in either wait mode.
  std::vector<double> exchangeMs;
  for (int i = 0; i < 21; ++i) {
    const double start = NowMs();
    WT_CHECK_EQ(SAM_reset_h(), 0);
    exchangeMs.push_back(NowMs() - start);
  }
  std::sort(exchangeMs.begin(), exchangeMs.end());
  std::printf("  exchange: median %.1f ms, slowest %.1f ms\n", exchangeMs[10], exchangeMs.back());
  WT_CHECK(exchangeMs[10] < 50.0);

  WT_CHECK_EQ(close_reader(), 0);
  WT_CHECK(PortIsFree(setup.reader));
  WT_CHECK_EQ(close_reader(), -1);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kAlreadyClosed));
  WT_CHECK_EQ(SAM_reset_h(), -1);
}

void ProbeFindsTheReaderOnComOne(const Setup& setup) {
  if (setup.reader != 1) {
    std::printf("  skipped: the reader is not on COM1\n");
    return;
  }
  Library library;
  char info[123] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, getreaderinfo)(info), 0);
  WT_CHECK(std::string(info).find("COM1 ") != std::string::npos);
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), -1);  // the probe leaves it closed
  WT_CHECK(PortIsFree(1));
}

void IdleWorkerUsesNoProcessor(const Setup& setup) {
  Library library;
  WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.reader, 0), 0);
  Sleep(200);
  const double wallStart = NowMs();
  const double cpuStart = ProcessorMs();
  Sleep(2000);
  const double cpuMs = ProcessorMs() - cpuStart;
  const double wallMs = NowMs() - wallStart;
  std::printf("  idle with the reader open: %.0f ms of processor time in %.0f ms\n", cpuMs, wallMs);
  // A worker that spins takes a third of a core and more. Wine's own event
  // wait polls the line in a helper thread of ours: up to about 5 %.
  WT_CHECK(cpuMs < 0.10 * wallMs);
  WT_CHECK_EQ(VQHW_EXPORT(library, SAM_reset_h)(), 0);  // still answering after the rest
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), 0);
}

void SilentReaderTimesOutAfterThreeTries(const Setup& setup) {
  Library library;
  const double start = NowMs();
  WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.silentReader, 0), -1);
  const double elapsed = NowMs() - start;
  std::printf("  open_reader on a silent reader took %.0f ms\n", elapsed);
  // Two 100 ms pauses and three unanswered 800 ms waits.
  WT_CHECK(elapsed >= 2500.0 && elapsed < 4000.0);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kReaderNotFound));
  WT_CHECK(PortIsFree(setup.silentReader));
}

void LateReaderIsReachedByARetry(const Setup& setup) {
  Library library;
  const double start = NowMs();
  WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.retryReader, 0), 0);
  const double elapsed = NowMs() - start;
  WT_CHECK(elapsed >= 1700.0 && elapsed < 3000.0);  // two tries went unanswered
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), 0);
}

void ReaderWithoutPsamIsRefused(const Setup& setup) {
  Library library;
  WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.noPsamReader, 0), -26);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kNoPsam));
  WT_CHECK(PortIsFree(setup.noPsamReader));
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), -1);
}

void MissingPortsCannotBeOpened(const Setup& setup) {
  Library library;
  auto open_reader = VQHW_EXPORT(library, open_reader);
  for (int port : {setup.missingPort, 0, 100, -1}) {
    WT_CHECK_EQ(open_reader(port, 0), -1);
    WT_CHECK_EQ(LastStatusText(library), std::string(text::kCannotOpen));
  }
  // A port held by another program is not tried here: Wine does not apply
  // the exclusive share mode to serial devices.
  WT_CHECK_EQ(open_reader(setup.reader, 0), 0);  // a failed open leaves nothing behind
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), 0);
}

// Wine refuses the modem-event wait on a pseudo-terminal unless the modem
// line calls are faked; the script says which of the two it set up, and
// this makes sure the library's worker really ran in that mode.
void EventWaitIsAsExpected(const Setup& setup) {
  HANDLE port = OpenExclusive(setup.reader);
  WT_CHECK(port != INVALID_HANDLE_VALUE);
  if (port == INVALID_HANDLE_VALUE) return;
  OVERLAPPED wait{};
  wait.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD events = 0;
  SetCommMask(port, EV_RXCHAR | EV_CTS | EV_RING);
  const BOOL done = WaitCommEvent(port, &events, &wait);
  const bool pending = !done && GetLastError() == ERROR_IO_PENDING;
  const bool waiting = done || pending;
  if (pending) {
    SetCommMask(port, 0);
    CancelIo(port);
    DWORD ignored = 0;
    GetOverlappedResult(port, &wait, &ignored, TRUE);
  }
  CloseHandle(wait.hEvent);
  CloseHandle(port);
  std::printf("  the port event wait is %s\n", waiting ? "available" : "refused");
  WT_CHECK_EQ(std::string(waiting ? "yes" : "no"), setup.eventWait);
}

}  // namespace wintest
