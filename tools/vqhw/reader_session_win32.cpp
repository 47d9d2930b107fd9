// The reader on Windows: the real port COM<port>, which the library opens
// itself. There is no built-in virtual reader and no relay (both need
// pseudo-terminals); `trace` shows the frames of the library's own trace
// instead, which the tool points at a file of its own unless VQHW_TRACE
// already names one.

#include "vqhw/reader_session.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "vqhw/library_trace.h"

namespace vqtool {

struct ReaderSession::Line {
  std::unique_ptr<LibraryTraceFollower> follower;
};

namespace {

constexpr const char* kTraceVariable = "VQHW_TRACE";
constexpr const char* kTracePrefix = "vqhw-trace-";
constexpr const wchar_t* kTracePrefixWide = L"vqhw-trace-";

// The library keeps its trace open until the process ends, so a run cannot
// remove its own file: each traced run removes those of the runs before it
// (a file still in use by a running tool refuses and stays). Names are
// compared wide: another program's file may have one with no ANSI form.
void RemoveEarlierTraces(const std::filesystem::path& directory) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::filesystem::path& path = entry->path();
    if (path.filename().wstring().starts_with(kTracePrefixWide) && path.extension() == L".log") {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }
}

// The file the library traces into for this run; set before its first record.
std::string TraceFile() {
  const char* named = std::getenv(kTraceVariable);
  if (named != nullptr && named[0] != '\0' && std::string(named) != "stderr") return named;
  const std::filesystem::path directory = std::filesystem::temp_directory_path();
  RemoveEarlierTraces(directory);
  const std::string path =
      (directory / (kTracePrefix + std::to_string(GetCurrentProcessId()) + ".log")).string();
  // _putenv, not SetEnvironmentVariable: the library reads the C runtime's copy.
  if (_putenv((std::string(kTraceVariable) + "=" + path).c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set VQHW_TRACE for the trace");
  }
  return path;
}

}  // namespace

std::string ReaderSession::DefaultDevice(int port) {
  // What the library opens: the port that VQHW_COM<n> names, else COM<n>.
  if (const char* named = std::getenv(("VQHW_COM" + std::to_string(port)).c_str()); named && *named) return named;
  return "COM" + std::to_string(port);
}

std::string ReaderSession::Inapplicable(const SessionOptions& options) {
  const char* simOption = !options.fieldFile.empty()              ? "--sim-field"
                          : !options.stateFile.empty()             ? "--sim-state"
                          : options.card != SessionOptions{}.card  ? "--sim-card"
                          : options.simulate                       ? "--sim"
                          : !options.timing.empty()                ? "--sim-timing"
                                                                   : nullptr;
  if (simOption != nullptr) {
    return std::string(simOption) +
           ": the Windows build has no built-in virtual reader (it needs pseudo-terminals); "
           "give the port of a reader with --port";
  }
  if (!options.device.empty()) {
    return "--device: on Windows the library opens COM<N> and nothing else; give N with --port";
  }
  return {};
}

const char* ReaderSession::TraceDescription() {
  return "run any command with every frame shown, as the library's own trace has it "
         "(on Windows there is no relay: bytes on the line that are no frame are not shown)";
}

const char* ReaderSession::PlatformNote() {
  return "\nOn Windows --port N is COMN; --device, --sim and its options and demo are refused: "
         "they need pseudo-terminals or the purse arithmetic, which the Windows build does not have.";
}

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace)
    : options_(options), line_(std::make_unique<Line>()) {
  if (trace == nullptr) return;
  line_->follower = std::make_unique<LibraryTraceFollower>(
      TraceFile(), [trace](LineDirection direction, std::span<const uint8_t> bytes,
                           std::chrono::steady_clock::time_point at) { trace->Observe(direction, bytes, at); });
}

ReaderSession::~ReaderSession() = default;

bool ReaderSession::Simulated() const { return false; }

void ReaderSession::SaveState() {}  // no virtual reader, so no state

}  // namespace vqtool
