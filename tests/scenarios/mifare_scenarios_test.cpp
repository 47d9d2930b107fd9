// MIFARE ONE lanes under the example scenarios: a card that comes late and
// leaves early, a value block torn in the middle of its write, faults on the
// line, and a reader that loses its power. Each asserts what the lane sees
// through the exports and what the card holds afterwards.

#include <algorithm>
#include <array>
#include <thread>

#include "scenarios/scenario_fixture.h"
#include "shared/hex_text.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/cards/mifare/mifare_value_block.h"

namespace vqtest {
namespace {

// Hex in pairs, blanks between pairs allowed.
ByteVector Hex(const std::string& text) { return vqshared::DecodeHex(text).value(); }

const ByteVector kFactoryKey(6, 0xFF);
const ByteVector kEntryRecord = Hex("4C 41 4E 45 30 37 20 45 4E 54 52 59 20 20 20 20");
const ByteVector kValue90 = Hex("5A000000 A5FFFFFF 5A000000 05FA05FA");
// A failed readblock clears the first 4 bytes of the caller's 16.
const ByteVector kFailedRead = Hex("00000000 EEEEEEEE EEEEEEEE EEEEEEEE");

bool IsValueBlock(const ByteVector& block) {
  return vqsim::mifare::ParseValueBlock(std::span<const uint8_t, 16>(block.data(), 16)).has_value();
}

class MifareScenarioTest : public ScenarioTest {
 protected:
  // Activation and the key of the block's sector.
  void OpenSector(int sector) {
    uint8_t record[5];
    ASSERT_EQ(lib.opencard(record), 0);
    ASSERT_EQ(lib.loadkey(0, sector, kFactoryKey.data()), 0);
  }
  ByteVector Read(int block, int32_t expected = 0) {
    ByteVector data(16, 0xEE);
    EXPECT_EQ(lib.readblock(0, block, data.data()), expected) << "block " << block;
    return data;
  }
  ByteVector Stored(const std::string& card, int block) {
    ByteVector bytes;
    com1->reader.WithState([&](vqsim::ReaderState&) {
      const auto& stored = CardNamed<vqsim::MifareClassic>(card)->RawBlock(block);
      bytes.assign(stored.begin(), stored.end());
    });
    return bytes;
  }
};

TEST_F(MifareScenarioTest, CardEntersAtItsTimeAndLeavesAfterTheFirstRead) {
  const Clock::time_point loaded = Clock::now();
  Load("card-comes-and-goes.json");
  OpenReader();
  uint8_t record[5];
  ASSERT_LT(Since(loaded), milliseconds(900)) << "too slow a machine to be before the card";
  EXPECT_EQ(lib.opencard(record), 1) << "no card yet";
  std::this_thread::sleep_until(loaded + milliseconds(1050));
  OpenSector(1);
  EXPECT_EQ(Read(4), kEntryRecord);
  EXPECT_EQ(Read(4, 1), kFailedRead) << "the card left: no card";
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
  EXPECT_EQ(lib.opencard(record), 1);
}

// The write of a value block is torn; the card comes back for the lane's
// third activation. The scenario chooses what the card did.
struct TornWrite {
  const char* outcome;
  const char* left;  // what block 5 holds afterwards, in hex
  bool valueBlock;  // whether that passes the value block's own check
};

class TornValueBlockTest : public MifareScenarioTest, public ::testing::WithParamInterface<TornWrite> {};

TEST_P(TornValueBlockTest, LaneSeesTheTimeOutAndFindsWhatTheCardLeft) {
  LoadText(ScenarioVariant("torn-value-block.json", "\"corrupt\"", std::string("\"") + GetParam().outcome + "\""));
  OpenReader();
  OpenSector(1);
  EXPECT_EQ(lib.writeblock(0, 5, kValue90.data()), -114) << "the card stopped answering";
  EXPECT_EQ(lib.LastStatusText(), Gbk("用户卡操作超时"));
  uint8_t record[5];
  EXPECT_EQ(lib.opencard(record), 1) << "the card is gone";
  OpenSector(1);  // back for the third activation
  const ByteVector block = Read(5);
  EXPECT_EQ(block, Hex(GetParam().left));
  EXPECT_EQ(Stored("ticket", 5), Hex(GetParam().left));
  EXPECT_EQ(IsValueBlock(block), GetParam().valueBlock);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, TornValueBlockTest,
    ::testing::Values(TornWrite{"done", "5A000000 A5FFFFFF 5A000000 05FA05FA", true},
                      TornWrite{"not-done", "64000000 9BFFFFFF 64000000 05FA05FA", true},
                      // the first half new (90), the second half old (100)
                      TornWrite{"corrupt", "5A000000 A5FFFFFF 64000000 05FA05FA", false}),
    [](const auto& test) { return TestName(test.param.outcome); });

TEST_F(MifareScenarioTest, CorruptValueBlockIsRefusedByTheCardsValueOperations) {
  Load("torn-value-block.json");
  OpenReader();
  OpenSector(1);
  ASSERT_EQ(lib.writeblock(0, 5, kValue90.data()), -114);
  uint8_t record[5];
  ASSERT_EQ(lib.opencard(record), 1);
  OpenSector(1);
  const ByteVector block = Read(5);
  EXPECT_FALSE(IsValueBlock(block));
  EXPECT_NE(ByteVector(block.begin(), block.begin() + 4), ByteVector(block.begin() + 8, block.begin() + 12))
      << "the value and its copy disagree";
  // The lane writes the whole block again; it holds then.
  EXPECT_EQ(lib.writeblock(0, 5, kValue90.data()), 0);
  EXPECT_TRUE(IsValueBlock(Read(5)));
}

TEST_F(MifareScenarioTest, LineFaultsHitTheCommandsTheyName) {
  Load("line-faults.json");
  OpenReader();
  OpenSector(1);
  com1->reader.ClearReceived();
  uint8_t data[16];
  Clock::time_point start = Clock::now();
  EXPECT_EQ(lib.readblock(0, 4, data), -1000) << "three silent attempts";
  EXPECT_EQ(com1->Commands(), ByteVector(3, 0x51));
  EXPECT_GE(Since(start), milliseconds(3 * 800));

  start = Clock::now();
  EXPECT_EQ(Read(4), kEntryRecord) << "late, within the wait";
  EXPECT_GE(Since(start), milliseconds(300));
  EXPECT_EQ(Read(4), kEntryRecord) << "garbage before the answer is skipped";
  com1->reader.ClearReceived();
  EXPECT_EQ(Read(4), kEntryRecord) << "a wrong sequence number is tried again";
  EXPECT_EQ(com1->Commands(), ByteVector(2, 0x51));
  com1->reader.ClearReceived();
  EXPECT_EQ(Read(4), kEntryRecord) << "the faults are used up";
  EXPECT_EQ(com1->Commands(), ByteVector(1, 0x51));
}

// The power goes during the second read: the first two attempts find the
// reader dead; the third finds it back without a selected card, and the
// reader has forgotten the keys the lane loaded.
TEST_F(MifareScenarioTest, PowerOffSilencesTheReaderThenItAnswersFromScratch) {
  Load("power-off.json");
  OpenReader();
  OpenSector(0);
  EXPECT_EQ(Read(1), ByteVector(16, 0x00));
  com1->reader.ClearReceived();
  EXPECT_EQ(Read(1, 1), kFailedRead) << "no card selected after the power came back";
  EXPECT_EQ(com1->Commands(), ByteVector(3, 0x51));
  uint8_t record[5];
  ASSERT_EQ(lib.opencard(record), 0);
  char text[8];
  EXPECT_EQ(lib.readfile_h("0000", "00", 0, 2, text), -107) << "no key loaded";
  ASSERT_EQ(lib.loadkey(0, 0, kFactoryKey.data()), 0);
  EXPECT_EQ(Read(1), ByteVector(16, 0x00));
}

}  // namespace
}  // namespace vqtest
