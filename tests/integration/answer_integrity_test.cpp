// Answers that must not pass for success: a late answer to a command that
// failed, an answer spoilt on the line, a success answer that lacks data.

#include <cstring>
#include <memory>
#include <string>

#include "integration/mifare_fixture.h"
#include "support/scripted_apdu_card.h"

namespace vqtest {
namespace {

// The block's last two bytes look like a status word, as in the field.
const ByteVector kBlock{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                        0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};

class AnswerIntegrityTest : public MifareTest {
 protected:
  // A card whose block 5 holds kBlock, authenticated; a PSAM answering A1 A2 90 00.
  void Prepare() {
    OpenCard();
    ASSERT_EQ(lib.loadkey(0, 1, kFactoryKey.data()), 0);
    PokeBlock(5, kBlock);
    com1->reader.WithState([&](vqsim::ReaderState& s) { s.psam = psam; });
    com1->reader.ClearReceived();
  }
  size_t FramesOf(uint8_t command) const { return DataOf(command).size(); }

  std::shared_ptr<ScriptedApduCard> psam =
      std::make_shared<ScriptedApduCard>(Bytes("A1 A2 90 00"));
  std::string data = std::string(64, 'Z');
  std::string sw = std::string(8, 'Z');
};

// The block read's answer comes after the read gave up and after the PSAM
// command was sent: it must not be taken for the PSAM's answer. Both come
// a byte at a time, so the PSAM's own answer cannot overtake the late one
// in the channel before the wait collects it.
//
// The reader answers all three attempts of the failed command at once when
// it is done; on a slow machine those late answers can take every attempt
// of the next command, which then fails with the wrong sequence number.
// That is a failure, never the earlier command's bytes as success.
TEST_F(AnswerIntegrityTest, LateBlockAnswerIsNotTakenForTheNextPsamCommandsAnswer) {
  Prepare();
  com1->reader.Faults().AnswerLate(milliseconds(2700));
  com1->reader.Faults().SplitAnswer(1, milliseconds(5), 2);
  uint8_t block[16];
  EXPECT_EQ(lib.readblock(0, 5, block), -1000);
  const int32_t result = lib.SAM_COMMAND_H("0084000002", data.data(), sw.data());
  if (result == 0) {
    EXPECT_EQ(std::string(data.c_str()), "A1A2");
    EXPECT_EQ(std::string(sw.c_str()), "9000");
  } else {
    EXPECT_EQ(data.find("1011121314"), std::string::npos) << "the block's bytes as the reply";
  }
}

TEST_F(AnswerIntegrityTest, LatePsamAnswerIsNotTakenForTheNextBlockRead) {
  Prepare();
  com1->reader.Faults().AnswerLate(milliseconds(2700));
  com1->reader.Faults().SplitAnswer(1, milliseconds(5), 2);
  EXPECT_EQ(lib.SAM_COMMAND_H("0084000002", data.data(), sw.data()), -1000);
  uint8_t block[16] = {};
  const int32_t result = lib.readblock(0, 5, block);
  if (result == 0) {
    EXPECT_EQ(ByteVector(block, block + 16), kBlock);
  } else {
    EXPECT_FALSE(block[0] == 0xA1 && block[1] == 0xA2) << "the PSAM's reply as the block";
  }
}

// The late answer is complete before the next command goes out: it is
// dropped then, and the next command needs no second attempt.
TEST_F(AnswerIntegrityTest, AnswerThatCameBetweenCommandsIsDroppedBeforeTheNextOneIsSent) {
  Prepare();
  com1->reader.Faults().AnswerLate(milliseconds(2500));
  uint8_t block[16];
  EXPECT_EQ(lib.readblock(0, 5, block), -1000);
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_EQ(lib.SAM_COMMAND_H("0084000002", data.data(), sw.data()), 0);
  EXPECT_EQ(std::string(data.c_str()), "A1A2");
  EXPECT_EQ(FramesOf(0x61), 1u);
}

TEST_F(AnswerIntegrityTest, SpoiltAnswerIsRetriedAndThreeGiveTheCheckByteStatus) {
  Prepare();
  com1->reader.Faults().SpoilByte(6);  // the block's third byte
  uint8_t block[16] = {};
  EXPECT_EQ(lib.readblock(0, 5, block), 0);
  EXPECT_EQ(ByteVector(block, block + 16), kBlock);
  EXPECT_EQ(FramesOf(0x51), 2u);

  com1->reader.Faults().SpoilByte(99, 3);  // the check byte itself
  EXPECT_EQ(lib.readblock(0, 5, block), -21);
  EXPECT_EQ(lib.LastStatusText(), Gbk("CRC校验错误"));
  EXPECT_EQ(FramesOf(0x51), 5u);
  EXPECT_EQ(lib.readblock(0, 5, block), 0) << "the link recovers";
}

// What a short answer lacks would come from behind its frame: the outputs
// keep the caller's bytes (the first four cleared, as before every read).
TEST_F(AnswerIntegrityTest, SuccessAnswersWithoutTheirDataAreCommunicationErrors) {
  Prepare();
  uint8_t block[16];
  std::memset(block, 0xAA, sizeof block);
  com1->reader.Faults().CutData(8);
  EXPECT_EQ(lib.readblock(0, 5, block), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("通讯错误"));
  const ByteVector untouched{0, 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA,
                             0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(ByteVector(block, block + 16), untouched);

  // The activation, the field reset and the second activation: opencard
  // reports a second failure as no card.
  com1->reader.Faults().CutData(4, 3);
  uint8_t record[5] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(lib.opencard(record), 1);
  EXPECT_EQ(record[4], 0xAA) << "no SAK from behind the frame";

  com1->reader.WithState([&](vqsim::ReaderState& state) {
    state.mifareKeys.Load(vqsim::mifare::KeyType::A, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  });
  com1->reader.Faults().CutData(2, 3);  // the read, the re-activation, the read again
  uint8_t file[16];
  std::memset(file, 0xAA, sizeof file);
  EXPECT_EQ(lib.readfile("0001", "10", 0, 16, file), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("通讯错误"));
  EXPECT_EQ(ByteVector(file + 4, file + 16), ByteVector(12, 0xAA));
}

}  // namespace
}  // namespace vqtest
