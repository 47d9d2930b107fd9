// The trace for the field: VQHW_TRACE names a file, and the library writes
// each frame, retry, purge, time-out and failure of the system there, with
// its time, while every result stays what it is without it.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <sstream>

#include "integration/reader_fixture.h"

namespace vqtest {
namespace {

class TraceTest : public ReaderTest {
 protected:
  // Read at the library's first record: this test's copy has made none yet.
  TraceTest() { ::setenv("VQHW_TRACE", path_.c_str(), 1); }
  ~TraceTest() override {
    ::unsetenv("VQHW_TRACE");
    std::remove(path_.c_str());
  }

  std::string Trace() const {
    std::ifstream file(path_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string path_ = ::testing::TempDir() + "vqhw-trace-" + std::to_string(::getpid()) + ".txt";
};

TEST_F(TraceTest, FramesRetriesPurgesTimeOutsAndSystemErrorsAreWrittenWithTheirTime) {
  EXPECT_EQ(lib.open_reader(3, 0), -1) << "COM3 names no device";
  OpenReader();
  com1->reader.Faults().StaySilent(1);
  EXPECT_EQ(lib.SAM_reset_h(), 0) << "the second attempt is answered";
  const std::string trace = Trace();
  EXPECT_NE(trace.find("os error: open "), std::string::npos) << trace;
  EXPECT_NE(trace.find(": errno 2 ("), std::string::npos) << trace;
  EXPECT_NE(trace.find(">> FF 00 70 03 AA AA AA 26\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("<< FF 00 00 00 FF\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("time-out: no frame within 800 ms\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("purge\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("retry: attempt 2 after status -1000\n"), std::string::npos) << trace;
  const std::regex stamped(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \S)");
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(std::regex_search(line, stamped)) << line;
}

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// A lane program that loads and frees the library again and again keeps no
// trace file open from earlier loads.
TEST_F(TraceTest, TheFileIsClosedWhenTheLibraryIsUnloaded) {
  EXPECT_EQ(lib.open_reader(3, 0), -1) << "a record: this load opens the file";
  lib.Unload();
  const size_t before = OpenDescriptors();
  constexpr int kLoads = 16;
  for (int i = 0; i < kLoads; ++i) {
    LibraryUnderTest again;
    EXPECT_EQ(again.open_reader(3, 0), -1);
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Count(Trace(), "os error: open "), kLoads + 1u) << "every load wrote";
}

// Whoever may write to the trace's folder cannot have the library append to
// another file through a link, hold its calls with a FIFO, or read a trace
// it creates. The trace is then off; results stay what they are.
TEST_F(TraceTest, ANewFileIsTheOwnersAloneAndNoLinkOrFifoAtThePathIsFollowed) {
  lib.Unload();
  const mode_t previousMask = ::umask(022);
  {
    LibraryUnderTest fresh;
    EXPECT_EQ(fresh.open_reader(3, 0), -1);
  }
  ::umask(previousMask);
  struct stat made {};
  ASSERT_EQ(::lstat(path_.c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 07777, 0600u);
  std::remove(path_.c_str());

  const std::string target = path_ + ".target";
  { std::ofstream(target) << "not the trace\n"; }
  ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
  {
    LibraryUnderTest linked;
    EXPECT_EQ(linked.open_reader(3, 0), -1);
    EXPECT_EQ(linked.open_reader(1, 0), 0) << "frames to record";
  }
  EXPECT_EQ(Trace(), "not the trace\n") << "the link's target is untouched";
  std::remove(path_.c_str());

  const std::string missing = path_ + ".missing";
  ASSERT_EQ(::symlink(missing.c_str(), path_.c_str()), 0);
  {
    LibraryUnderTest dangling;
    EXPECT_EQ(dangling.open_reader(3, 0), -1);
  }
  EXPECT_NE(::access(missing.c_str(), F_OK), 0) << "no file is made where the link points";
  std::remove(path_.c_str());
  std::remove(target.c_str());
  std::remove(missing.c_str());

  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  int fifoReader = -1;
  {
    LibraryUnderTest fifo;
    auto call = std::async(std::launch::async, [&] { return fifo.open_reader(3, 0); });
    const bool returned = call.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    // Should the call hang in the open, a reader lets it go on; it stays
    // open until the library is gone, so that no record meets a closed pipe.
    if (!returned) fifoReader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(returned) << "a FIFO nobody reads held the call";
    EXPECT_EQ(call.get(), -1);
  }
  if (fifoReader >= 0) ::close(fifoReader);
}

}  // namespace
}  // namespace vqtest
