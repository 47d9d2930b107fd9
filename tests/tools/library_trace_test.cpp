// The frames of the library's own trace file, as `trace` shows them where no
// relay can stand on the line (Windows): which records are frames, their
// times, and a file followed while the library appends to it.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>
#include <vector>

#include "vqhw/library_trace.h"

namespace vqtool {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

TEST(ToolLibraryTrace, TakesBothDirectionsAndNothingButFrames) {
  const auto sent = ParseTraceLine("2026-12-09 17:07:03.123 >> FF 01 70 03 AA AA AA 27\r");
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->direction, LineDirection::kToReader);
  EXPECT_EQ(sent->bytes, (Bytes{0xFF, 0x01, 0x70, 0x03, 0xAA, 0xAA, 0xAA, 0x27}));
  EXPECT_TRUE(sent->at);
  const auto received = ParseTraceLine("2026-12-09 17:07:03.125 << FF 01 00 00 FE");
  ASSERT_TRUE(received);
  EXPECT_EQ(received->direction, LineDirection::kToHost);
  EXPECT_EQ(received->bytes, (Bytes{0xFF, 0x01, 0x00, 0x00, 0xFE}));
  // A time the library could not read leaves the milliseconds alone.
  const auto timeless = ParseTraceLine(".125 << FF 01 00 00 FE");
  ASSERT_TRUE(timeless);
  EXPECT_FALSE(timeless->at);
  EXPECT_EQ(timeless->bytes.size(), 5u);

  for (const char* other : {"2026-12-09 17:07:03.123 purge", "2026-12-09 17:07:03.123 purge: an earlier answer dropped",
                            "2026-12-09 17:07:03.123 retry: attempt 2 after status -10",
                            "2026-12-09 17:07:03.123 time-out: no frame within 800 ms",
                            "2026-12-09 17:07:03.123 os error: CreateFileA \\\\.\\COM5: GetLastError 2",
                            "2026-12-09 17:07:03.123 >>", "2026-12-09 17:07:03.123 >> FF 1", "2026-12-09 17:07:03.123 >> FF GG",
                            "2026-12-09 17:07:03.123 x y >> FF", ""}) {
    EXPECT_FALSE(ParseTraceLine(other)) << other;
  }
}

TEST(ToolLibraryTrace, ReadsTheMillisecondsAcrossASecond) {
  const auto before = ParseTraceLine("2026-12-09 23:59:59.900 >> FF");
  const auto after = ParseTraceLine("2026-12-10 00:00:00.150 << FF");
  ASSERT_TRUE(before && after && before->at && after->at);
  EXPECT_EQ(*after->at - *before->at, 250ms);
  EXPECT_FALSE(ParseTraceLine("2026-12-09 17:07:3x.123 >> FF")->at) << "a spoilt time is none, not a guess";
}

// A trace file the test appends to as the library would.
class TraceFile {
 public:
  TraceFile() : path_(std::filesystem::temp_directory_path() / ("vqhw-library-trace-test-" + std::to_string(::getpid()))) {
    std::filesystem::remove(path_);
  }
  ~TraceFile() { std::filesystem::remove(path_); }
  std::string Path() const { return path_.string(); }
  void Append(const std::string& text) {
    std::FILE* file = std::fopen(path_.c_str(), "a");
    ASSERT_NE(file, nullptr);
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }

 private:
  std::filesystem::path path_;
};

std::string Stamp(std::chrono::system_clock::time_point at) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
  char text[40];
  // localtime_r: the follower's thread converts times meanwhile, and
  // localtime would set the time zone up again under it.
  std::tm fields{};
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", localtime_r(&seconds, &fields));
  std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
  return text;
}

TEST(ToolLibraryTrace, FollowsTheFileFromItsEndAndKeepsTheLibrarysTimes) {
  TraceFile file;
  file.Append(Stamp(std::chrono::system_clock::now()) + " >> FF 09 70 00 86\n");  // an earlier run's
  char* text = nullptr;
  size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  {
    Output out(true, memory, memory);
    FrameTrace frames(out);
    {
      LibraryTraceFollower follower(file.Path(), frames);
      // The command 40 ms before its answer, as the library stamped them; the
      // answer's line written in two pieces, as a reader of the file may find it.
      const auto command = std::chrono::system_clock::now() - 100ms;
      file.Append(Stamp(command) + " >> FF 01 70 03 AA AA AA 27\r\n");
      file.Append(Stamp(command + 5ms) + " purge\n" + Stamp(command + 40ms) + " << FF 01 ");
      std::this_thread::sleep_for(30ms);  // the follower looks at the file meanwhile
      file.Append("00 00 FE\r\n");
    }
    frames.Finish();
    out.Finish(0);
  }
  std::fclose(memory);
  const nlohmann::json frames = nlohmann::json::parse(std::string(text, size))["frames"];
  std::free(text);
  ASSERT_EQ(frames.size(), 2u) << frames.dump(1);
  EXPECT_EQ(frames[0]["name"], "probe");
  EXPECT_EQ(frames[0]["data"], "AAAAAA");
  EXPECT_EQ(frames[1]["direction"], "to_host");
  EXPECT_EQ(frames[1]["name"], "success");
  // The library's 40 ms exactly, not the follower's reading of two clocks.
  EXPECT_DOUBLE_EQ(frames[1]["answer_ms"].get<double>(), 40.0);
}

}  // namespace
}  // namespace vqtool
