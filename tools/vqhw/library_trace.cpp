#include "vqhw/library_trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>

#include "shared/hex_text.h"

namespace vqtool {

namespace {

using std::chrono::steady_clock;
using std::chrono::system_clock;

// How often the file is looked at while a command runs. The times shown are
// the library's own, so this decides only how soon a frame appears.
constexpr auto kPollInterval = std::chrono::milliseconds(5);

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while ((at = line.find_first_not_of(' ', at)) != std::string_view::npos) {
    const size_t end = std::min(line.find(' ', at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// "2026-12-09" "17:07:03.123", local time.
std::optional<system_clock::time_point> ParseStamp(std::string_view date, std::string_view time) {
  const std::string text = std::string(date) + " " + std::string(time);
  std::tm fields{};
  int millis = 0, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%n", &fields.tm_year, &fields.tm_mon,
                  &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &millis, &used) != 7 ||
      static_cast<size_t>(used) != text.size()) {
    return std::nullopt;
  }
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  fields.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&fields);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return system_clock::from_time_t(seconds) + std::chrono::milliseconds(millis);
}

std::optional<LineDirection> DirectionOfMark(std::string_view mark) {
  if (mark == ">>") return LineDirection::kToReader;
  if (mark == "<<") return LineDirection::kToHost;
  return std::nullopt;
}

}  // namespace

std::optional<TracedFrame> ParseTraceLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::vector<std::string_view> words = Words(line);
  // The mark follows the date and time; a time the library could not read
  // leaves only ".mmm" in front of it.
  size_t mark = 0;
  while (mark < words.size() && mark < 3 && !DirectionOfMark(words[mark])) ++mark;
  if (mark == words.size() || mark == 3 || mark + 1 == words.size()) return std::nullopt;
  TracedFrame frame;
  frame.direction = *DirectionOfMark(words[mark]);
  if (mark == 2) frame.at = ParseStamp(words[0], words[1]);
  for (size_t i = mark + 1; i < words.size(); ++i) {
    const auto byte = words[i].size() == 2 ? vqshared::DecodeHex(words[i]) : std::nullopt;
    if (!byte) return std::nullopt;
    frame.bytes.push_back((*byte)[0]);
  }
  return frame;
}

std::string NamedTraceFile() {
  const char* named = std::getenv("VQHW_TRACE");
  return named == nullptr || std::strcmp(named, "stderr") == 0 ? std::string() : std::string(named);
}

LibraryTraceFollower::LibraryTraceFollower(const std::string& path, FrameTrace& trace)
    : LibraryTraceFollower(path, [&trace](LineDirection direction, std::span<const uint8_t> bytes,
                                          steady_clock::time_point at) { trace.Observe(direction, bytes, at); }) {}

LibraryTraceFollower::LibraryTraceFollower(const std::string& path, Observer observer)
    : observer_(std::move(observer)),
      path_(path),
      systemToSteady_(system_clock::now().time_since_epoch() -
                      std::chrono::duration_cast<system_clock::duration>(steady_clock::now().time_since_epoch())) {
  // "ab" makes the file when there is none yet and leaves one that is there as it is.
  std::FILE* file = std::fopen(path_.c_str(), "ab");
  if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0 || (offset_ = std::ftell(file)) < 0) {
    const int error = errno;
    if (file != nullptr) std::fclose(file);
    throw std::system_error(error, std::generic_category(), "cannot read the trace " + path_);
  }
  std::fclose(file);
  // The time zone set up here, before the thread: else the first mktime in
  // the thread and the library's first localtime_r set it up at once, under
  // a lock of the C library's own that a thread checker cannot see.
#ifdef _WIN32
  _tzset();
#else
  tzset();
#endif
  thread_ = std::thread([this] { Follow(); });
}

LibraryTraceFollower::~LibraryTraceFollower() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_one();
  thread_.join();
  HandOnNewLines();
}

void LibraryTraceFollower::Follow() {
  std::unique_lock lock(mutex_);
  while (!stopped_.wait_for(lock, kPollInterval, [this] { return stop_; })) {
    lock.unlock();
    HandOnNewLines();
    lock.lock();
  }
}

void LibraryTraceFollower::HandOnNewLines() {
  // Opened anew each time: a stream that met the end of a file does not
  // read what was appended since on every C runtime.
  std::FILE* file = std::fopen(path_.c_str(), "rb");
  if (file == nullptr) return;
  if (std::fseek(file, offset_, SEEK_SET) == 0) {
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      partialLine_.append(buffer, count);
      offset_ += static_cast<long>(count);
    }
  }
  std::fclose(file);
  size_t end = 0;
  while ((end = partialLine_.find('\n')) != std::string::npos) {
    if (const auto frame = ParseTraceLine(std::string_view(partialLine_).substr(0, end))) {
      // The library's time, on the clock the frame trace counts with; a line
      // with no readable time counts as read now.
      const steady_clock::time_point at =
          frame->at ? steady_clock::time_point(std::chrono::duration_cast<steady_clock::duration>(
                          frame->at->time_since_epoch() - systemToSteady_))
                    : steady_clock::now();
      observer_(frame->direction, frame->bytes, at);
    }
    partialLine_.erase(0, end + 1);
  }
}

}  // namespace vqtool
