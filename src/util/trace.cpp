#include "util/trace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <optional>

#include "util/date_time.h"
#include "util/trace_file.h"

namespace vqhw::trace {

// One record a line: local date and time to the millisecond, then the event.
// The receive worker and the calling thread both write, under the lock.
// The file is closed when the library is unloaded; the sink itself stays,
// so that a record made after that (while the library's statics are torn
// down, or while the process exits) finds it closed and is dropped.
class Sink {
 public:
  void Open() {
    const char* target = std::getenv("VQHW_TRACE");
    if (target == nullptr || target[0] == '\0') return;
    file_.store(std::strcmp(target, "stderr") == 0 ? stderr : OpenTraceFile(target));
  }
  bool IsOpen() const { return file_.load() != nullptr; }

  void Record(const char* line) {
    char stamp[32];
    Stamp(stamp, sizeof stamp);
    std::lock_guard lock(lock_);
    std::FILE* file = file_.load();
    if (file == nullptr) return;  // closed meanwhile
    std::fprintf(file, "%s %s\n", stamp, line);
    std::fflush(file);  // a lane that crashes next still leaves its last lines
  }

  void Close() {
    std::lock_guard lock(lock_);
    std::FILE* file = file_.exchange(nullptr);
    if (file != nullptr && file != stderr) std::fclose(file);
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

  // Read without the lock by Active(); written under it.
  std::atomic<std::FILE*> file_{nullptr};
  std::mutex lock_;
};

namespace {
// Built in place on first use and never destroyed, so that a record made
// while the library's statics are being torn down still finds it.
alignas(Sink) unsigned char sinkStorage[sizeof(Sink)];
std::atomic<Sink*> builtSink{nullptr};
// Set at unload: a first record made after it opens no file to leave open.
std::atomic<bool> unloaded{false};

Sink* OpenSink() {
  Sink* sink = new (sinkStorage) Sink();
  if (!unloaded.load()) sink->Open();
  builtSink.store(sink);
  return sink;
}
}  // namespace

Sink* Active() {
  static Sink* const sink = OpenSink();
  return sink->IsOpen() ? sink : nullptr;
}

void CloseAtUnload() {
  unloaded.store(true);
  if (Sink* sink = builtSink.load()) sink->Close();
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
