// The reader on Windows: the port COM<port>, or what VQHW_COM<port> names
// (--device sets it), which the library opens itself; or with --sim the
// tool's own virtual reader on a loopback TCP port (virtual_line_win32.cpp).
// There is no relay (it needs pseudo-terminals): `trace` on a real port
// shows the frames of the library's own trace instead, which the tool
// points at a file of its own unless VQHW_TRACE already names one; on the
// virtual reader it shows the bytes the reader sees.

#include "vqhw/reader_session.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "vqhw/library_trace.h"
#include "vqhw/virtual_line.h"

namespace vqtool {

struct ReaderSession::Line {
  std::unique_ptr<VirtualLine> virtualLine;
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
  if (std::string named = NamedTraceFile(); !named.empty()) return named;
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

const char* ReaderSession::TraceDescription() {
  return "run any command with every frame shown (on a real port as the library's own trace has it: "
         "on Windows there is no relay, and bytes on the line that are no frame are not shown)";
}

const char* ReaderSession::PlatformNote() {
  return "\nOn Windows --port N is COMN unless VQHW_COMN (or --device) names another port, such as "
         "socket://127.0.0.1:4001; --sim serves the virtual reader on a loopback TCP port of its own.";
}

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace)
    : options_(options), line_(std::make_unique<Line>()) {
  if (options_.simulate) {
    line_->virtualLine = StartVirtualLine(options_, trace);
    return;
  }
  if (!options_.device.empty()) PointPortAt(options_.port, options_.device);
  if (trace == nullptr) return;
  line_->follower = std::make_unique<LibraryTraceFollower>(TraceFile(), *trace);
}

ReaderSession::~ReaderSession() = default;

bool ReaderSession::Simulated() const { return line_->virtualLine != nullptr; }

void ReaderSession::SaveState() {
  if (!options_.stateFile.empty() && line_->virtualLine) SaveVirtualState(*line_->virtualLine, options_.stateFile);
}

}  // namespace vqtool
