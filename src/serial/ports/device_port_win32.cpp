// A serial device on Windows: overlapped I/O on \\.\COM<n>, no port
// time-outs, and a stop event that every wait of the worker includes.
//
// The worker waits for a port event (received character, CTS change, ring)
// and then reads what is queued, one byte per overlapped read. Some drivers
// (virtual and Bluetooth ports among them) refuse that event wait, or end it
// at once again and again without input: the worker then waits on a pending
// one-byte read instead. Either way it sleeps in the kernel while the line is
// quiet, and a port that keeps failing is looked at again only after a rest.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "serial/ports/device_port.h"
#include "util/trace.h"

namespace vqhw {

namespace {

constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS | EV_RING;  // 0x109
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// Event waits that end without input before the worker stops trusting them.
constexpr int kEmptyWakeupLimit = 8;
// Failures in a row that are tried again at once: a purge from the calling
// thread aborts a pending read, and that read is simply started anew.
constexpr int kQuickRetries = 3;
// How long the worker rests before looking again at a port that keeps failing.
constexpr DWORD kFailedPortRestMs = 100;
constexpr int kWriteAttempts = 3;
// How long a cancelled operation may take to end. Under the loader lock (the
// library being unloaded) a driver that needs that lock to end it never
// does: its record is then left to the system rather than freed.
constexpr DWORD kCancelBoundMs = 1000;
constexpr DWORD kWriteRetryPauseMs = 10;

enum class Wake { kDone, kStopped, kFailed };

// The trace gets GetLastError() of the call that failed, which the status
// folds away.
void TraceOsError(const char* operation, const char* subject) {
  trace::OsError(operation, subject, GetLastError());
}

}  // namespace

bool FormatPortName(int32_t portNumber, char* name, size_t size) {
  char variable[16];
  std::snprintf(variable, sizeof variable, "VQHW_COM%d", static_cast<int>(portNumber));
  // The process's own environment, which the program may have changed
  // since it started, not a C runtime's copy of it.
  const DWORD length = GetEnvironmentVariableA(variable, name, static_cast<DWORD>(size));
  if (length > 0) return length < size;
  const int n = std::snprintf(name, size, "\\\\.\\COM%d", static_cast<int>(portNumber));
  return n > 0 && static_cast<size_t>(n) < size;
}

namespace {

struct Handles {
  HANDLE port = INVALID_HANDLE_VALUE;
  HANDLE stop = nullptr;
  // One record per kind of operation, on the heap so that one that the
  // system still holds can be left behind (see Cancel).
  OVERLAPPED* eventWait = nullptr;
  OVERLAPPED* read = nullptr;
  OVERLAPPED* write = nullptr;
  // The worker's view of the driver, for this opening.
  bool eventWaitUsable = true;
  int emptyWakeups = 0;
  int failures = 0;

  bool CreateEvents() {
    stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return stop != nullptr && Record(eventWait) && Record(read) && Record(write);
  }

  // The record in `slot`, made anew when there is none; null if it cannot be.
  static OVERLAPPED* Record(OVERLAPPED*& slot) {
    if (slot != nullptr) return slot;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return nullptr;
    slot = new OVERLAPPED{};
    slot->hEvent = event;
    return slot;
  }

  void CloseAll() {
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    port = INVALID_HANDLE_VALUE;
    if (stop != nullptr) CloseHandle(stop);
    stop = nullptr;
    for (OVERLAPPED** o : {&eventWait, &read, &write}) {
      if (*o != nullptr) CloseHandle((*o)->hEvent);
      delete *o;
      *o = nullptr;
    }
  }

  bool StopRequested() const { return WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; }

  // Ends this thread's pending operation on `slot` and waits, within a
  // bound, until the system has finished with the record; one it still holds
  // after that is left to it for good. PurgeComm does not end every pending
  // operation everywhere (Wine leaves a read pending), CancelIo does.
  void Cancel(OVERLAPPED*& slot) {
    CancelIo(port);
    if (WaitForSingleObject(slot->hEvent, kCancelBoundMs) != WAIT_OBJECT_0) {
      slot = nullptr;
      return;
    }
    DWORD ignored = 0;
    GetOverlappedResult(port, slot, &ignored, TRUE);
  }

  // Waits for the pending operation on `o` or for StopWaiting().
  Wake Await(OVERLAPPED*& slot, DWORD& transferred) {
    HANDLE events[] = {stop, slot->hEvent};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0 + 1) {
      return GetOverlappedResult(port, slot, &transferred, FALSE) ? Wake::kDone : Wake::kFailed;
    }
    if (&slot == &eventWait) SetCommMask(port, 0);  // also completes a pending event wait
    Cancel(slot);
    return woken == WAIT_OBJECT_0 ? Wake::kStopped : Wake::kFailed;
  }

  Wake ReadByte(uint8_t& byte) {
    if (Record(read) == nullptr) return Wake::kFailed;
    ResetEvent(read->hEvent);
    DWORD count = 0;
    if (!ReadFile(port, &byte, 1, &count, read)) {
      if (GetLastError() != ERROR_IO_PENDING) return Wake::kFailed;
      Wake wake = Await(read, count);
      if (wake != Wake::kDone) return wake;
    }
    return count == 1 ? Wake::kDone : Wake::kFailed;
  }

  // The number of bytes waiting in the input queue; clears line errors.
  DWORD Queued() {
    DWORD errors = 0;
    COMSTAT state{};
    return ClearCommError(port, &errors, &state) ? state.cbInQue : 0;
  }

  // Waits for a port event. kFailed when the driver refuses the wait.
  Wake WaitForEvent() {
    if (Record(eventWait) == nullptr) return Wake::kFailed;
    ResetEvent(eventWait->hEvent);
    DWORD events = 0;
    if (WaitCommEvent(port, &events, eventWait)) return Wake::kDone;
    if (GetLastError() != ERROR_IO_PENDING) {
      eventWaitUsable = false;
      return Wake::kFailed;
    }
    DWORD ignored = 0;
    return Await(eventWait, ignored);
  }

  // Counts a wake-up that brought nothing, and rests once they pile up:
  // false when the worker was stopped meanwhile.
  bool NoteFailure() {
    if (eventWaitUsable && ++emptyWakeups >= kEmptyWakeupLimit) eventWaitUsable = false;
    if (++failures <= kQuickRetries) return true;
    return WaitForSingleObject(stop, kFailedPortRestMs) != WAIT_OBJECT_0;
  }
};

class DevicePort final : public Port {
 public:
  ~DevicePort() override { handles_.CloseAll(); }

  ReaderStatus Open(const char* deviceName, const LineSettings& settings);
  ReaderStatus Apply(const LineSettings& settings) override;
  ReaderStatus Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound) override;
  void Purge(PurgeOccasion) override { Flush(); }
  size_t WaitAndRead(uint8_t* buffer, size_t capacity) override;
  void StopWaiting() override;
  void Abandon() override {}  // no fork() on Windows

 private:
  void Flush();  // aborts transfers, discards both queues
  Handles handles_;
};

ReaderStatus DevicePort::Open(const char* deviceName, const LineSettings& settings) {
  Handles& h = handles_;
  h.port = CreateFileA(deviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
  if (h.port == INVALID_HANDLE_VALUE) {
    TraceOsError("CreateFileA", deviceName);
    return status::kCannotOpen;
  }
  ReaderStatus result = status::kOk;
  COMMTIMEOUTS noTimeouts{};
  if (!h.CreateEvents()) {
    TraceOsError("CreateEventA for", deviceName);
    result = status::kCannotOpen;
  } else if (!SetCommTimeouts(h.port, &noTimeouts)) {
    TraceOsError("SetCommTimeouts", deviceName);
    result = status::kTimeoutsNotSet;
  } else {
    result = Apply(settings);
  }
  if (result != status::kOk) {
    h.CloseAll();
    return result;
  }
  h.eventWaitUsable = SetCommMask(h.port, kEventMask) != 0;
  h.emptyWakeups = 0;
  h.failures = 0;
  Flush();
  return status::kOk;
}

ReaderStatus DevicePort::Apply(const LineSettings& settings) {
  Handles& h = handles_;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h.port, &dcb)) {
    TraceOsError("GetCommState", "of the port");
    return status::kSettingsUnreadable;
  }
  char text[64];
  if (!FormatSettingsText(settings, text, sizeof text) || !BuildCommDCBA(text, &dcb)) {
    TraceOsError("BuildCommDCBA", text);
    return status::kSettingsRejected;
  }
  // No flow control of either kind; DTR and RTS stay up for the reader.
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fAbortOnError = FALSE;
  // As on the POSIX side the outcome changes no result; the trace still tells it.
  if (!SetCommState(h.port, &dcb)) TraceOsError("SetCommState", "of the port");
  return status::kOk;
}

ReaderStatus DevicePort::Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound) {
  Handles& h = handles_;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + bound;
  for (int attempt = 1;; ++attempt) {
    if (Handles::Record(h.write) == nullptr) return status::kCannotSend;
    ResetEvent(h.write->hEvent);
    DWORD written = 0;
    BOOL done = WriteFile(h.port, bytes, static_cast<DWORD>(count), &written, h.write);
    if (!done && GetLastError() == ERROR_IO_PENDING) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      DWORD waited =
          WaitForSingleObject(h.write->hEvent, static_cast<DWORD>(std::max<int64_t>(left.count(), 0)));
      if (waited == WAIT_OBJECT_0) {
        done = GetOverlappedResult(h.port, h.write, &written, FALSE);
      } else {
        h.Cancel(h.write);  // the record and the buffer are free again before we return
        if (waited == WAIT_TIMEOUT) {
          trace::Note("time-out: the write did not finish in time");
          return status::kTimeout;
        }
      }
    }
    if (done) return written == count ? status::kOk : status::kCannotSend;
    TraceOsError("WriteFile", "to the port");
    // The write failed or its result could not be had: a few more tries.
    if (attempt == kWriteAttempts) return status::kCannotSend;
    if (Clock::now() >= deadline) return status::kTimeout;
    Sleep(kWriteRetryPauseMs);
    Flush();
  }
}

void DevicePort::Flush() {
  if (handles_.port != INVALID_HANDLE_VALUE) PurgeComm(handles_.port, kPurgeAll);
}

size_t DevicePort::WaitAndRead(uint8_t* buffer, size_t capacity) {
  Handles& h = handles_;
  size_t count = 0;
  for (;;) {
    if (h.StopRequested()) return 0;
    // Drain what is queued; a read that fails ends the drain.
    while (count < capacity && h.Queued() > 0) {
      Wake wake = h.ReadByte(buffer[count]);
      if (wake == Wake::kStopped) return 0;
      if (wake == Wake::kFailed) break;
      ++count;
    }
    if (count > 0) {
      h.emptyWakeups = 0;
      h.failures = 0;
      return count;
    }
    Wake wake = Wake::kFailed;
    if (h.eventWaitUsable) {
      wake = h.WaitForEvent();
      // An event without input (a line change, or a driver that ends the
      // wait for nothing) brings the worker back here: count it.
      if (wake == Wake::kDone && h.Queued() == 0) wake = Wake::kFailed;
    } else {
      wake = h.ReadByte(buffer[0]);
      if (wake == Wake::kDone) count = 1;
    }
    if (wake == Wake::kStopped) return 0;
    if (wake == Wake::kFailed && !h.NoteFailure()) return 0;
  }
}

void DevicePort::StopWaiting() {
  if (handles_.stop != nullptr) SetEvent(handles_.stop);
}

}  // namespace

ReaderStatus OpenDevicePort(const char* name, const LineSettings& settings, std::unique_ptr<Port>& port) {
  auto device = std::make_unique<DevicePort>();
  const ReaderStatus opened = device->Open(name, settings);
  if (opened == status::kOk) port = std::move(device);
  return opened;
}

}  // namespace vqhw
