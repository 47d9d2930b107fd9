#pragma once
// The trace for the field: when the environment variable VQHW_TRACE names a
// file (or is "stderr"), the library writes there every frame both ways
// with its time, each retry, purge and time-out, and each failure of the
// operating system on open, set-up and write with its code. The variable is
// read once, at the first record; without it every hook is one test of a
// pointer and nothing is written. Tracing changes no result.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vqhw::trace {

class Sink;
// The open trace, or null when tracing is off.
Sink* Active();
// When the library is unloaded: closes the trace file. Records made later
// are dropped.
void CloseAtUnload();

enum class Direction : char { kSent = '>', kReceived = '<' };

void WriteFrame(Sink& sink, Direction direction, const uint8_t* bytes, size_t count);
void WriteNote(Sink& sink, const char* what);
void WriteRetry(Sink& sink, int attempt, int32_t previousStatus);
void WriteTimeOut(Sink& sink, std::chrono::milliseconds wait);
// `code` is errno on POSIX and GetLastError() on Windows.
void WriteOsError(Sink& sink, const char* operation, const char* subject, unsigned long code);

// The hooks, one line each where they are called.
inline void Frame(Direction direction, const uint8_t* bytes, size_t count) {
  if (Sink* sink = Active()) WriteFrame(*sink, direction, bytes, count);
}
inline void Note(const char* what) {
  if (Sink* sink = Active()) WriteNote(*sink, what);
}
inline void Retry(int attempt, int32_t previousStatus) {
  if (Sink* sink = Active()) WriteRetry(*sink, attempt, previousStatus);
}
inline void TimeOut(std::chrono::milliseconds wait) {
  if (Sink* sink = Active()) WriteTimeOut(*sink, wait);
}
inline void OsError(const char* operation, const char* subject, unsigned long code) {
  if (Sink* sink = Active()) WriteOsError(*sink, operation, subject, code);
}

}  // namespace vqhw::trace
