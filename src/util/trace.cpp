#include "util/trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <optional>

#include "util/date_time.h"

namespace vqhw::trace {

// One record a line: local date and time to the millisecond, then the event.
// The receive worker and the calling thread both write, under the lock.
// The stream stays open until the process ends, so a record written while
// the library is unloaded, or while the process exits, still has somewhere
// to go.
class Sink {
 public:
  void Open() {
    const char* target = std::getenv("VQHW_TRACE");
    if (target == nullptr || target[0] == '\0') return;
    file_ = std::strcmp(target, "stderr") == 0 ? stderr : std::fopen(target, "a");
  }
  bool IsOpen() const { return file_ != nullptr; }

  void Record(const char* line) {
    char stamp[32];
    Stamp(stamp, sizeof stamp);
    std::lock_guard lock(lock_);
    std::fprintf(file_, "%s %s\n", stamp, line);
    std::fflush(file_);  // a lane that crashes next still leaves its last lines
  }

 private:
  static void Stamp(char* stamp, size_t size) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::optional<std::tm> fields = LocalTime(seconds);
    const size_t length = fields ? std::strftime(stamp, size, "%Y-%m-%d %H:%M:%S", &*fields) : 0;
    std::snprintf(stamp + length, size - length, ".%03d", static_cast<int>(millis));
  }

  std::FILE* file_ = nullptr;
  std::mutex lock_;
};

namespace {
// Built in place on first use and never destroyed, so that a record made
// while the library's statics are being torn down still finds it.
alignas(Sink) unsigned char sinkStorage[sizeof(Sink)];

Sink* OpenSink() {
  Sink* sink = new (sinkStorage) Sink();
  sink->Open();
  return sink;
}
}  // namespace

Sink* Active() {
  static Sink* const sink = OpenSink();
  return sink->IsOpen() ? sink : nullptr;
}

void WriteFrame(Sink& to, Direction direction, const uint8_t* bytes, size_t count) {
  // Two marks, then three characters a byte: a whole 256-byte frame fits.
  char line[2 + 3 * 256 + 1] = {static_cast<char>(direction), static_cast<char>(direction)};
  size_t used = 2;
  for (size_t i = 0; i < count && used + 3 < sizeof line; ++i) {
    used += static_cast<size_t>(std::snprintf(line + used, sizeof line - used, " %02X", bytes[i]));
  }
  to.Record(line);
}

void WriteNote(Sink& to, const char* what) { to.Record(what); }

void WriteRetry(Sink& to, int attempt, int32_t previousStatus) {
  char line[64];
  std::snprintf(line, sizeof line, "retry: attempt %d after status %d", attempt,
                static_cast<int>(previousStatus));
  to.Record(line);
}

void WriteTimeOut(Sink& to, std::chrono::milliseconds wait) {
  char line[64];
  std::snprintf(line, sizeof line, "time-out: no frame within %lld ms",
                static_cast<long long>(wait.count()));
  to.Record(line);
}

void WriteOsError(Sink& to, const char* operation, const char* subject, unsigned long code) {
  char line[512];
#ifdef _WIN32
  std::snprintf(line, sizeof line, "os error: %s %s: GetLastError %lu", operation, subject, code);
#else
  std::snprintf(line, sizeof line, "os error: %s %s: errno %lu (%s)", operation, subject, code,
                std::strerror(static_cast<int>(code)));
#endif
  to.Record(line);
}

}  // namespace vqhw::trace
