// Card files through readfile, readfile_h, writefile and writefile_h: the
// frames, the single retry with its pause and re-activation, the argument
// codes, and the card-kind rule.

#include <cstring>

#include "integration/mifare_fixture.h"
#include "support/guarded_memory.h"

namespace vqtest {
namespace {

using vqsim::mifare::KeyType;

class MifareFileTest : public MifareTest {
 protected:
  // The reader holds the factory key A in slot `selector`.
  void LoadReaderKey(int selector) {
    com1->reader.WithState([&](vqsim::ReaderState& state) {
      state.mifareKeys.Load(KeyType::A, selector, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    });
  }
  // Time from the first frame with `first` to the next with `then`.
  milliseconds Gap(uint8_t first, uint8_t then) const {
    const auto frames = com1->reader.ReceivedFrames();
    for (size_t i = 0; i < frames.size(); ++i) {
      if (frames[i].command() != first) continue;
      for (size_t j = i + 1; j < frames.size(); ++j) {
        if (frames[j].command() == then) {
          return std::chrono::duration_cast<milliseconds>(frames[j].at - frames[i].at);
        }
      }
    }
    return milliseconds(-1);
  }
};

TEST_F(MifareFileTest, ReadFileSendsFileKeyOffsetLengthAndCopiesTheBytes) {
  OpenCard();
  LoadReaderKey(1);
  PokeBlock(13, ByteVector(16, 0x13));
  PokeBlock(14, ByteVector(16, 0x14));
  uint8_t data[33] = {};
  data[32] = 0xEE;
  EXPECT_EQ(lib.readfile("0003", "10", 16, 32, data), 0);
  EXPECT_EQ(com1->Frames(), std::vector<ByteVector>{Bytes("FF 03 81 04 03 01 10 20 4B")});
  ByteVector expected(16, 0x13);
  expected.insert(expected.end(), 16, 0x14);
  expected.push_back(0xEE);
  EXPECT_EQ(ByteVector(data, data + 33), expected);
  EXPECT_EQ(lib.readfile("0003", "10", 40, 8, data), 0);
}

TEST_F(MifareFileTest, NoCardPausesReactivatesOnceAndGivesUp) {
  OpenCard();
  com1->reader.ClearField();
  uint8_t data[4];
  const auto start = Clock::now();
  EXPECT_EQ(lib.readfile("0001", "10", 0, 4, data), 1);
  EXPECT_GE(Since(start), milliseconds(100));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x81, 0x80}));
  EXPECT_GE(Gap(0x81, 0x80), milliseconds(100));
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
}

// The card that left is replaced by another: the re-activation finds it,
// and it becomes the current card that loadkey names.
TEST_F(MifareFileTest, RetryReadsTheCardFoundByTheReactivation) {
  OpenCard();
  LoadReaderKey(1);
  com1->reader.RemoveCard(card.get());
  auto other = std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{0x55, 0x66, 0x77, 0x88});
  vqsim::MifareClassic::Block block{};
  block.fill(0x5A);
  other->PokeBlock(4, block);
  com1->reader.InsertCard(other);
  uint8_t data[4] = {};
  EXPECT_EQ(lib.readfile("0001", "10", 0, 4, data), 0);
  EXPECT_EQ(ByteVector(data, data + 4), ByteVector(4, 0x5A));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x81, 0x80, 0x81}));
  EXPECT_GE(Gap(0x81, 0x80), milliseconds(100));
  EXPECT_EQ(SerialNamedByLoadKey(), (ByteVector{0x55, 0x66, 0x77, 0x88}));
}

TEST_F(MifareFileTest, RangeErrorsAreRetriedButNeverSent) {
  OpenCard();
  uint8_t data[48];
  const auto start = Clock::now();
  EXPECT_EQ(lib.readfile("0001", "10", 40, 9, data), -4);
  EXPECT_GE(Since(start), milliseconds(100));
  EXPECT_EQ(lib.LastStatusText(), Gbk("第四个参数错误"));
  EXPECT_EQ(lib.readfile("0001", "10", 8, -4, data), -4) << "a negative length is refused too";
  EXPECT_EQ(lib.readfile("0001", "10", 49, 0, data), -3);
  EXPECT_EQ(lib.readfile("0040", "10", 0, 1, data), -1);
  EXPECT_EQ(com1->Commands(), ByteVector(4, 0x80)) << "only the re-activations";
}

TEST_F(MifareFileTest, MissingIdentifiersOrBuffersAreRefusedBeforeAnyFrame) {
  OpenCard();
  uint8_t data[4];
  char text[9];
  EXPECT_EQ(lib.readfile(nullptr, "10", 0, 4, data), -1);
  EXPECT_EQ(lib.readfile("0001", nullptr, 0, 4, data), -2);
  EXPECT_EQ(lib.readfile("0001", "10", 0, 4, nullptr), -5);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第五个参数错误"));
  EXPECT_EQ(lib.readfile_h("0001", "10", 0, 4, nullptr), -5);
  EXPECT_EQ(lib.readfile_h(nullptr, "10", 0, 4, text), -1);
  EXPECT_EQ(lib.writefile("0001", "10", 0, 4, nullptr), -5);
  EXPECT_EQ(lib.writefile("0001", nullptr, 0, 4, data), -2);
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 4, nullptr), -5);
  EXPECT_EQ(lib.writefile_h(nullptr, "10", 0, 4, "00"), -1);
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(MifareFileTest, ClosedReaderIsRefusedAndLeavesTheLastStatus) {
  EXPECT_EQ(lib.SelectCardType('5'), -1);
  uint8_t data[4];
  EXPECT_EQ(lib.readfile("0001", "10", 0, 4, data), -1);
  EXPECT_EQ(lib.writefile("0001", "10", 0, 4, data), -1);
  EXPECT_EQ(lib.readfile_h("0001", "10", 0, 4, nullptr), -1);
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 4, "00"), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
}

TEST_F(MifareFileTest, IdentifiersLongerThanSixDigitsUseTheirFirstBytes) {
  OpenCard();
  LoadReaderKey(2);
  uint8_t data[4];
  EXPECT_EQ(lib.readfile("0001020304050607080910", "2F2F2F2F2F2F2F2F2F2F", 0, 4, data), 0);
  EXPECT_EQ(DataOf(0x81), (std::vector<ByteVector>{{0x01, 0x02, 0x00, 0x04}}));
}

TEST_F(MifareFileTest, WriteFilePreparesBeforeEveryWrite) {
  OpenCard();
  LoadReaderKey(1);
  const ByteVector bytes{0xC0, 0xC1, 0xC2};
  EXPECT_EQ(lib.writefile("0002", "10", 15, 3, bytes.data()), 0);
  EXPECT_EQ(DataOf(0x83), (std::vector<ByteVector>{{0x02, 0x01}}));
  EXPECT_EQ(DataOf(0x82), (std::vector<ByteVector>{{0x02, 0x01, 15, 3, 0xC0, 0xC1, 0xC2}}));
  EXPECT_EQ(CardBlock(8)[15], 0xC0);
  EXPECT_EQ(CardBlock(9, 3), (ByteVector{0xC1, 0xC2, 0}));

  com1->reader.ClearReceived();
  com1->reader.Faults().StatusFor(0x83, 0xFE, 1);
  const auto start = Clock::now();
  EXPECT_EQ(lib.writefile("0002", "10", 0, 3, bytes.data()), 0);
  EXPECT_GE(Since(start), milliseconds(100));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x83, 0x80, 0x83, 0x82}));
  EXPECT_GE(Gap(0x83, 0x80), milliseconds(100));
}

TEST_F(MifareFileTest, WriteFileLengthsThatCannotFitOneFrameAreRefused) {
  OpenCard();
  LoadReaderKey(1);
  ByteVector bytes(248, 0x11);
  EXPECT_EQ(lib.writefile("0002", "10", 0, 248, bytes.data()), -4);
  EXPECT_EQ(lib.writefile("0002", "10", 0, -1, bytes.data()), -4);
  EXPECT_EQ(com1->Commands(), (ByteVector{0x83, 0x80, 0x83, 0x83, 0x80, 0x83}));
  // An offset its one byte cannot carry would write somewhere else.
  com1->reader.ClearReceived();
  EXPECT_EQ(lib.writefile("0002", "10", 256, 1, bytes.data()), -3);
  EXPECT_EQ(lib.writefile("0002", "10", -1, 1, bytes.data()), -3);
  EXPECT_TRUE(DataOf(0x82).empty()) << "nothing written at a wrapped offset";
  // 247 bytes fit the frame; the card has no such file area.
  EXPECT_EQ(lib.writefile("0002", "10", 0, 247, bytes.data()), -116);
  ASSERT_FALSE(DataOf(0x82).empty());
  EXPECT_EQ(DataOf(0x82)[0].size(), 251u);
}

TEST_F(MifareFileTest, WriteFileHexChecksItsTextAndNeverRetries) {
  OpenCard();
  LoadReaderKey(1);
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 2, "0A0B0"), 0);
  EXPECT_EQ(lib.writefile_h("0001", "10", 2, 2, "0C 0D"), 0);
  EXPECT_EQ(CardBlock(4, 4), (ByteVector{0x0A, 0x0B, 0x0C, 0x0D}));
  com1->reader.ClearReceived();
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 2, "0A0G"), -28);
  EXPECT_EQ(lib.LastStatusText(), Gbk("数据包含非法字符"));
  EXPECT_EQ(com1->Commands(), ByteVector{0x83});
  // A text shorter than the length: zeros after its bytes.
  PokeBlock(5, ByteVector(16, 0xEE));
  EXPECT_EQ(lib.writefile_h("0001", "10", 16, 4, "0A"), 0);
  EXPECT_EQ(CardBlock(5, 5), (ByteVector{0x0A, 0, 0, 0, 0xEE}));
  com1->reader.ClearReceived();
  com1->reader.ClearField();
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 2, "0A0B"), 1);
  EXPECT_EQ(com1->Commands(), ByteVector{0x83});
}

// Read as far as the decoder needs (255 characters) and one more: a text
// that goes on past that is refused before 0x82, not read to its end.
TEST_F(MifareFileTest, WriteFileHexReadsItsTextNoFurtherThanOnePastTheDecoderLimit) {
  OpenCard();
  LoadReaderKey(1);
  GuardedMemory memory;
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 2, memory.UnterminatedText(std::string(256, '0'))), -28);
  EXPECT_EQ(com1->Commands(), ByteVector{0x83});
  GuardedMemory endsAtTheGuard;
  const char* digits = endsAtTheGuard.UnterminatedText("0A0B" + std::string(250, '0') + '\0');
  EXPECT_EQ(lib.writefile_h("0001", "10", 0, 2, digits), 0);
  EXPECT_EQ(CardBlock(4, 2), (ByteVector{0x0A, 0x0B}));
}

TEST_F(MifareFileTest, ReadFileHexWritesDigitsAndNeverRetries) {
  OpenCard();
  LoadReaderKey(1);
  PokeBlock(4, {0xAB, 0xCD});
  char text[10];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(lib.readfile_h("0001", "10", 0, 2, text), 0);
  EXPECT_STREQ(text, "ABCD");
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(lib.readfile_h("0001", "10", 0, 0, text), 0);
  EXPECT_STREQ(text, "");
  com1->reader.ClearReceived();
  com1->reader.ClearField();
  EXPECT_EQ(lib.readfile_h("0001", "10", 0, 2, text), 1);
  EXPECT_EQ(com1->Commands(), ByteVector{0x81});
}

// The file commands apply the card-kind rule after their exchange: with
// the setting "MIFARE PRO only" a MIFARE ONE card's data is copied and the
// command fails all the same, retry included.
TEST_F(MifareFileTest, CardKindRuleRefusesAMifareOneCardWhenOnlyProIsAccepted) {
  ASSERT_EQ(lib.SelectCardType('1'), 0);
  OpenCard();
  LoadReaderKey(1);
  PokeBlock(4, {1, 2, 3, 4});
  uint8_t data[4] = {};
  EXPECT_EQ(lib.readfile("0001", "10", 0, 4, data), -27);
  EXPECT_EQ(ByteVector(data, data + 4), (ByteVector{1, 2, 3, 4}));
  EXPECT_EQ(lib.LastStatusText(), Gbk("不支持的卡类型，本机具被设定为只支持MIFARE PRO卡"));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x81, 0x80, 0x81}));
  const ByteVector bytes{9};
  EXPECT_EQ(lib.writefile("0001", "10", 0, 1, bytes.data()), -27);
  ASSERT_EQ(lib.SelectCardType('2'), 0);
  EXPECT_EQ(lib.readfile("0001", "10", 0, 4, data), 0);
}

}  // namespace
}  // namespace vqtest
