// The reader's own commands through their exports.

#include "integration/reader_fixture.h"

namespace vqtest {
namespace {

TEST_F(ReaderTest, ControlCommandsSendTheirFrames) {
  OpenReader();
  EXPECT_EQ(lib.set_mmi(0x80, 0x83, 0), 0);
  EXPECT_EQ(lib.RF_reset_h(), 0);
  EXPECT_EQ(lib.SAM_reset_h(), 0);
  EXPECT_EQ(com1->Frames(), (std::vector<std::vector<uint8_t>>{Bytes("FF 02 74 03 80 83 00 89"),
                                                               Bytes("FF 03 72 00 8E"),
                                                               Bytes("FF 04 73 00 88")}));
}

TEST_F(ReaderTest, MmiValuesOutOfRangeAreRefusedWithoutSending) {
  OpenReader();
  EXPECT_EQ(lib.set_mmi(0x83, 0, 0), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_EQ(lib.set_mmi(0, 0x84, 0), -2);
  EXPECT_EQ(lib.set_mmi(0, 0, 0x180), -3);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第三个参数错误"));
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(ReaderTest, ClosedReaderCommandsReportNotOpenButCloseCardReturnsZero) {
  EXPECT_EQ(lib.RF_reset_h(), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口没打开"));
  EXPECT_EQ(lib.PRO_reset_h(), -1);
  EXPECT_EQ(lib.closecard(), 0);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口没打开"));
}

TEST_F(ReaderTest, CloseCardHidesTheFailureAndPausesAfterTheReset) {
  OpenReader();
  com1->reader.Faults().StatusFor(0x72, 0xFF, 1);
  auto start = Clock::now();
  EXPECT_EQ(lib.closecard(), 0);
  EXPECT_GE(Since(start), milliseconds(100));
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
}

TEST_F(ReaderTest, SelectCardTypeWorksClosedAndIsNotMapped) {
  EXPECT_EQ(lib.SelectCardType('1'), 0);
  EXPECT_EQ(lib.SelectCardType('3'), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_EQ(lib.SelectCardType(0x0130), 0);
}

}  // namespace
}  // namespace vqtest
