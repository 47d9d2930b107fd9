// opencard and opencard_h against the virtual reader: the frames, the
// second attempt after a field reset, and the serial kept for later calls.

#include <cstring>

#include "integration/mifare_fixture.h"

namespace vqtest {
namespace {

const ByteVector kRecord{0x11, 0x22, 0x33, 0x44, 0x08};

TEST_F(MifareTest, OpenCardActivatesInOneFrameAndKeepsTheSerial) {
  OpenReader();
  InsertCard();
  uint8_t record[6] = {0, 0, 0, 0, 0, 0xEE};
  ASSERT_EQ(lib.opencard(record), 0);
  EXPECT_EQ(ByteVector(record, record + 6), (ByteVector{0x11, 0x22, 0x33, 0x44, 0x08, 0xEE}));
  EXPECT_EQ(com1->Frames(), std::vector<ByteVector>{Bytes("FF 02 80 00 7D")});
  EXPECT_EQ(SerialNamedByLoadKey(), ByteVector(kSerial.begin(), kSerial.end()));
}

TEST_F(MifareTest, NoCardGivesOneAfterAFieldResetAndKeepsThePreviousSerial) {
  OpenCard();
  com1->reader.ClearField();
  uint8_t record[5] = {7, 7, 7, 7, 7};
  EXPECT_EQ(lib.opencard(record), 1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x80, 0x72, 0x80}));
  EXPECT_EQ(ByteVector(record, record + 5), ByteVector(5, 7));
  EXPECT_EQ(SerialNamedByLoadKey(), ByteVector(kSerial.begin(), kSerial.end()));
}

TEST_F(MifareTest, AnyOtherFailureOfBothAttemptsIsToldAsNoCard) {
  OpenReader();
  InsertCard();
  com1->reader.Faults().StatusFor(0x80, 0xFE, 2);
  uint8_t record[5];
  EXPECT_EQ(lib.opencard(record), 1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
}

// A halted card does not answer the activation; the field reset between
// the two attempts powers it up again.
TEST_F(MifareTest, HaltedCardIsFoundByTheSecondAttempt) {
  OpenReader();
  InsertCard();
  com1->reader.WithState([&](vqsim::ReaderState&) { card->Halt(); });
  uint8_t record[5] = {};
  EXPECT_EQ(lib.opencard(record), 0);
  EXPECT_EQ(ByteVector(record, record + 5), kRecord);
  EXPECT_EQ(com1->Commands(), (ByteVector{0x80, 0x72, 0x80}));
  EXPECT_EQ(lib.LastStatusText(), Gbk("成功执行"));
}

TEST_F(MifareTest, SilentReaderIsAReceiveTimeOut) {
  OpenReader();
  InsertCard();
  com1->reader.Faults().StaySilent(9);  // three attempts each of 0x80, 0x72, 0x80
  uint8_t record[5];
  EXPECT_EQ(lib.opencard(record), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("接收数据超时"));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x80, 0x80, 0x80, 0x72, 0x72, 0x72, 0x80, 0x80, 0x80}));
}

TEST_F(MifareTest, OpenCardHexWritesTenDigitsAndAZero) {
  OpenReader();
  InsertCard();
  char text[12];
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(lib.opencard_h(text), 0);
  EXPECT_STREQ(text, "1122334408");
  EXPECT_EQ(text[11], 'x');
  EXPECT_EQ(SerialNamedByLoadKey(), ByteVector(kSerial.begin(), kSerial.end()));
}

TEST_F(MifareTest, ClosedReaderOrMissingBufferSendsNothing) {
  EXPECT_EQ(lib.SelectCardType('7'), -1);
  uint8_t record[5];
  EXPECT_EQ(lib.opencard(record), -1);
  EXPECT_EQ(lib.opencard_h(nullptr), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误")) << "the closed reader leaves the last status";

  OpenReader();
  InsertCard();
  EXPECT_EQ(lib.RF_reset_h(), 0);
  EXPECT_EQ(lib.opencard(nullptr), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_EQ(lib.opencard_h(nullptr), -1);
  EXPECT_EQ(com1->Commands(), ByteVector{0x72});
}

}  // namespace
}  // namespace vqtest
