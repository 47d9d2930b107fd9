// Unloading the DLL, and ending the process, while the reader is open: under
// the loader lock nothing may wait for a thread to exit, and the worker must
// not run the library's code once it is unmapped.

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "harness.h"
#include "library.h"
#include "ports.h"
#include "test_cases.h"

namespace wintest {

namespace {

int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Threads that end on their own take a moment: wait up to a second.
int ThreadCountSettledAt(int expected) {
  int count = ThreadCount();
  for (int i = 0; i < 20 && count > expected; ++i) {
    Sleep(50);
    count = ThreadCount();
  }
  return count;
}

}  // namespace

void UnloadWithTheReaderOpen(const Setup& setup) {
  Library library;
  WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.reader, 0), 0);
  const double start = NowMs();
  WT_CHECK(library.Free());
  const double elapsed = NowMs() - start;
  std::printf("  FreeLibrary with the reader open took %.1f ms\n", elapsed);
  WT_CHECK(elapsed < 2000.0);
  WT_CHECK(GetModuleHandleA("VqhwLib.dll") == nullptr);  // really unmapped
  WT_CHECK(PortIsFree(setup.reader));
  Sleep(300);  // a worker that ran on in the unmapped library would have crashed us by now

  // Loaded again, the library starts from a closed reader. Not with the
  // event wait: Wine's loader then trips over the helper threads of its
  // ended event waits (see RunIsolated in wine_tests_main.cpp).
  if (setup.eventWait == "yes") return;
  Library again;
  WT_CHECK_EQ(VQHW_EXPORT(again, close_reader)(), -1);
  WT_CHECK_EQ(VQHW_EXPORT(again, open_reader)(setup.reader, 0), 0);
  WT_CHECK_EQ(VQHW_EXPORT(again, close_reader)(), 0);
}

// The same over a network port: the worker waits on the socket and the
// waker, and the connection is closed under the loader lock.
void UnloadWithANetworkPortOpen(const Setup& setup) {
  {
    Library library;
    WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.networkReader, 0), 0);
    const double start = NowMs();
    WT_CHECK(library.Free());
    const double elapsed = NowMs() - start;
    std::printf("  FreeLibrary with a network port open took %.1f ms\n", elapsed);
    WT_CHECK(elapsed < 2000.0);
    WT_CHECK(GetModuleHandleA("VqhwLib.dll") == nullptr);
    Sleep(300);
  }
  // The server saw the connection end: a new one is served.
  Library again;
  WT_CHECK_EQ(VQHW_EXPORT(again, open_reader)(setup.networkReader, 0), 0);
  WT_CHECK_EQ(VQHW_EXPORT(again, close_reader)(), 0);
}

void ReopenedWorkersEndAndUnloadFollowsClose(const Setup& setup) {
  {
    Library library;
    auto open_reader = VQHW_EXPORT(library, open_reader);
    auto close_reader = VQHW_EXPORT(library, close_reader);
    WT_CHECK_EQ(open_reader(setup.reader, 0), 0);
    WT_CHECK_EQ(close_reader(), 0);
    const int threadsAfterOne = ThreadCount();  // the system's pool thread is there now
    for (int i = 0; i < 10; ++i) {
      WT_CHECK_EQ(open_reader(setup.reader, 0), 0);
      WT_CHECK_EQ(close_reader(), 0);
    }
    // A worker that outlived its opening would leave a thread each time.
    WT_CHECK(ThreadCountSettledAt(threadsAfterOne) <= threadsAfterOne + 1);
    WT_CHECK_EQ(open_reader(setup.reader, 0), 0);
    WT_CHECK_EQ(close_reader(), 0);
    WT_CHECK(library.Free());  // right behind the close
  }
  Sleep(300);
  WT_CHECK(PortIsFree(setup.reader));
}

void ProcessExitWithTheReaderOpen(const Setup& setup) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string command = "\"";
  command.append(self).append("\" --exit-with-open-reader ").append(std::to_string(setup.reader));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &child);
  WT_CHECK(started);
  if (!started) return;
  const DWORD waited = WaitForSingleObject(child.hProcess, 15000);
  WT_CHECK_EQ(static_cast<int64_t>(waited), static_cast<int64_t>(WAIT_OBJECT_0));
  if (waited != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 99);
  DWORD exitCode = 99;
  GetExitCodeProcess(child.hProcess, &exitCode);
  WT_CHECK_EQ(static_cast<int64_t>(exitCode), 0);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  WT_CHECK(PortIsFree(setup.reader));
}

int ExitWithOpenReader(int port) {
  Library library;
  const int32_t opened = VQHW_EXPORT(library, open_reader)(port, 0);
  // Leave with the reader open and the library loaded: ExitProcess runs
  // the unload hook with the worker already gone.
  ExitProcess(opened == 0 ? 0 : 3);
}

}  // namespace wintest
