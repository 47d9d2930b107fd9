// The diagnostic log record, byte for byte.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "local_zone.h"
#include "util/diagnostic_log.h"

namespace vqhw {
namespace {

class DiagnosticLog : public testing::Test {
 protected:
  void SetUp() override {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::path(testing::TempDir()) / (std::string("vqhw_log_") + test->name());
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::string Contents() const {
    std::ifstream file(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path path_;
};

TEST_F(DiagnosticLog, RecordIsTheMessageThenTheStampThenCrLf) {
  EXPECT_EQ(WriteLog(path_.c_str(), nullptr, "reader %d answered %s", 7, "late"), 0);
  EXPECT_EQ(Contents(), "reader 7 answered late\r\n");
  // "%%" makes a stamp that does not depend on the clock.
  EXPECT_EQ(WriteLog(path_.c_str(), "[%%]", "port %s", "COM2"), 0);
  EXPECT_EQ(Contents(), "reader 7 answered late\r\nport COM2[%]\r\n") << "appended, CR LF once";
}

TEST_F(DiagnosticLog, EmptyMessageStillEndsTheLine) {
  EXPECT_EQ(WriteLog(path_.c_str(), nullptr, "%s", ""), 0);
  EXPECT_EQ(WriteLog(path_.c_str(), "%%", "%s", ""), 0);
  EXPECT_EQ(Contents(), "\r\n%\r\n");
}

TEST_F(DiagnosticLog, StampLongerThanItsLimitIsLeftOut) {
  // "%c" may take 2 + 9 characters; its expansion takes 24.
  EXPECT_EQ(TimeStampLimit("%c"), 12u);
  EXPECT_EQ(WriteLog(path_.c_str(), "%c", "no stamp"), 0);
  EXPECT_EQ(Contents(), "no stamp\r\n");
}

// The stamp buffer was once 30 bytes whatever the format; a long format ran
// past it.
TEST_F(DiagnosticLog, LongTimeFormatsGetTheirWholeStamp) {
  const std::string format(200, 'T');
  EXPECT_EQ(WriteLog(path_.c_str(), format.c_str(), "m"), 0);
  EXPECT_EQ(Contents(), "m" + format + "\r\n");
}

TEST_F(DiagnosticLog, StampIsTheLocalTime) {
  LocalZone zone("CST-8");
  char stamp[16] = {};
  EXPECT_EQ(FormatTimeStamp(stamp, "%z"), 5);
  EXPECT_STREQ(stamp, "+0800");
}

TEST_F(DiagnosticLog, FileThatCannotBeOpenedGivesZeroAndCreatesNothing) {
  const auto missing = path_ / "no_such_directory" / "log.txt";
  EXPECT_EQ(WriteLog(missing.c_str(), "%%", "lost"), 0);
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_EQ(WriteLog(nullptr, nullptr, "lost"), 0);
}

}  // namespace
}  // namespace vqhw
