// The reader information line, open and probing.

#include <cstdio>
#include <cstring>

#include "integration/reader_fixture.h"

namespace vqtest {
namespace {

std::string InfoLine(int port, long baud) {
  char line[200];
  std::snprintf(line, sizeof line, "%s", Gbk("[厂商]:青岚市博远达通讯设备有限公司  [机具型号]:Morvelina-TX700   [生产日期]:2002年10月  [串口号]:COM%d  [通讯速率]:%ld").c_str());
  std::string format = line;
  std::snprintf(line, sizeof line, format.c_str(), port, baud);
  return line;
}

std::string ReaderInfo(LibraryUnderTest& lib) {
  char text[200];
  std::memset(text, 0x7E, sizeof text);
  EXPECT_EQ(lib.getreaderinfo(text), 0);
  EXPECT_LE(std::strlen(text) + 1, 123u) << "the caller's buffer holds 123 bytes";
  return text;
}

TEST_F(ReaderTest, InfoOfAnOpenReaderNamesItsPortAndSpeedAndKeepsItOpen) {
  SimulatedPort com2(2);
  ASSERT_EQ(lib.open_reader(2, 0), 0);
  EXPECT_EQ(ReaderInfo(lib), InfoLine(2, 115200));
  EXPECT_EQ(lib.SAM_reset_h(), 0);
  EXPECT_EQ(com2.Commands(), (std::vector<uint8_t>{0x70, 0x73, 0x73}));
}

TEST_F(ReaderTest, InfoProbesComOneAndLeavesTheReaderClosed) {
  EXPECT_EQ(ReaderInfo(lib), InfoLine(1, 115200));
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x70, 0x73}));
  EXPECT_EQ(lib.LastStatusText(), Gbk("成功执行"));
  EXPECT_EQ(lib.RF_reset_h(), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口没打开"));
}

TEST_F(ReaderTest, InfoFallsBackToComTwoWhenComOneHasNoPsam) {
  com1->reader.SetPsamPresent(false);
  SimulatedPort com2(2);
  EXPECT_EQ(ReaderInfo(lib), InfoLine(2, 115200));
  EXPECT_EQ(com2.Commands(), (std::vector<uint8_t>{0x70, 0x73}));
}

TEST_F(ReaderTest, InfoSaysSoWhenNeitherPortHasAReader) {
  com1->reader.SetPsamPresent(false);
  EXPECT_EQ(ReaderInfo(lib), Gbk("没有在COM1和COM2发现机具"));
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口无法打开")) << "the status of the COM2 probe";
}

}  // namespace
}  // namespace vqtest
