// The trace for the field: VQHW_TRACE names a file, and the library writes
// each frame, retry, purge, time-out and failure of the system there, with
// its time, while every result stays what it is without it.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
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

}  // namespace
}  // namespace vqtest
