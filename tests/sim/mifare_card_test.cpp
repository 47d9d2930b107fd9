// The virtual MIFARE Classic card behind the reader's commands: activation,
// keys, authentication, access bits, value blocks and files.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/commands/command_table.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/cards/mifare/mifare_value_block.h"

namespace vqsim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kOk = 0x00;
const Bytes kFactoryKey(6, 0xFF);
const Bytes kSerial{0xC1, 0xC2, 0xC3, 0xC4};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class VirtualMifareCard : public ::testing::Test {
 protected:
  VirtualMifareCard() { state.field.Insert(card); }

  Reply Run(uint8_t command, const Bytes& data = {}) { return Dispatch(state, command, data); }
  uint8_t Status(uint8_t command, const Bytes& data = {}) { return Run(command, data).status; }

  // Activates the card, loads `key` for the slot and authenticates the sector.
  uint8_t Authenticate(int sector, uint8_t keyCode = 0, const Bytes& key = kFactoryKey) {
    EXPECT_EQ(Status(0x80), kOk);
    EXPECT_EQ(Status(0x56, Concat({{keyCode, static_cast<uint8_t>(sector)}, key})), kOk);
    return Status(0x50, Concat({kSerial, {keyCode, static_cast<uint8_t>(sector),
                                          static_cast<uint8_t>(4 * sector + 1)}}));
  }
  Bytes ReadBlock(int block) {
    Reply reply = Run(0x51, {static_cast<uint8_t>(block)});
    EXPECT_EQ(reply.status, kOk) << "block " << block;
    return reply.data;
  }
  uint8_t WriteBlock(int block, const Bytes& data) {
    return Status(0x52, Concat({{static_cast<uint8_t>(block)}, data}));
  }
  const MifareClassic::Block& Raw(int block) const { return card->RawBlock(block); }

  std::shared_ptr<MifareClassic> card = std::make_shared<MifareClassic>(
      std::array<uint8_t, 4>{0xC1, 0xC2, 0xC3, 0xC4});
  ReaderState state;
};

TEST_F(VirtualMifareCard, ActivationAnswersSerialSakAndAnswerToRequest) {
  EXPECT_EQ(Run(0x40, {0x26}).data, (Bytes{0x04, 0x00}));
  EXPECT_EQ(Run(0x41).data, kSerial);
  EXPECT_EQ(Run(0x42, kSerial).data, (Bytes{0x08}));
  EXPECT_EQ(Status(0x42, {1, 2, 3, 4}), 0xFF);
  EXPECT_EQ(Run(0x80).data, Concat({kSerial, {0x08}}));
  EXPECT_EQ(Status(0x40, {0x00}), 0xF0);
  // Block 0 holds the serial, its check byte, SAK and answer to request.
  EXPECT_EQ(Bytes(Raw(0).begin(), Raw(0).begin() + 8), (Bytes{0xC1, 0xC2, 0xC3, 0xC4, 0x04, 0x08, 0x04, 0x00}));
}

TEST_F(VirtualMifareCard, AuthenticatedSectorReadsAndWritesItsBlocksOnly) {
  EXPECT_EQ(Status(0x51, {4}), 0xFF);  // nothing selected yet
  EXPECT_EQ(Status(0x80), kOk);
  EXPECT_EQ(Status(0x51, {4}), 0xF8);  // selected, not authenticated
  ASSERT_EQ(Authenticate(1), kOk);
  EXPECT_EQ(ReadBlock(4), Bytes(16, 0));
  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(WriteBlock(5, data), kOk);
  EXPECT_EQ(ReadBlock(5), data);
  EXPECT_EQ(Bytes(Raw(5).begin(), Raw(5).end()), data);
  EXPECT_EQ(Status(0x51, {8}), 0xF8);  // another sector
  EXPECT_EQ(WriteBlock(9, data), 0xF8);
  EXPECT_EQ(Status(0x51, {64}), 0xF0);
}

TEST_F(VirtualMifareCard, AuthenticationNeedsTheLoadedRightKeyForTheSelectedCard) {
  EXPECT_EQ(Status(0x80), kOk);
  EXPECT_EQ(Status(0x50, Concat({kSerial, {0, 1, 5}})), 0xF9);  // no key loaded
  ASSERT_EQ(Authenticate(1), kOk);
  EXPECT_EQ(Authenticate(1, 0, Bytes(6, 0x11)), 0xFD);
  EXPECT_EQ(Status(0x51, {4}), 0xF8);  // the failure forgot the earlier authentication
  EXPECT_EQ(Status(0x50, Concat({{9, 9, 9, 9}, {0, 1, 5}})), 0xFA);
  EXPECT_EQ(Status(0x50, Concat({kSerial, {0, 1, 8}})), 0xF0);  // block of another sector
  EXPECT_EQ(Status(0x56, Concat({{1, 1}, kFactoryKey})), 0xF0);  // key type code 1
  EXPECT_EQ(Authenticate(2, 4), kOk);                              // key B, factory value
}

TEST_F(VirtualMifareCard, TrailerReadsKeyAAsZerosAndNewKeysReplaceTheOldOnes) {
  ASSERT_EQ(Authenticate(2), kOk);
  EXPECT_EQ(ReadBlock(11), Concat({Bytes(6, 0), {0xFF, 0x07, 0x80, 0x69}, kFactoryKey}));
  const Bytes keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  const Bytes keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  // Data blocks: key A reads, key B writes; trailer: only key B changes it.
  ASSERT_EQ(WriteBlock(11, Concat({keyA, {0x78, 0x77, 0x88, 0x00}, keyB})), kOk);
  EXPECT_EQ(Authenticate(2), 0xFD);
  ASSERT_EQ(Authenticate(2, 0, keyA), kOk);
  EXPECT_EQ(ReadBlock(8), Bytes(16, 0));
  EXPECT_EQ(WriteBlock(8, Bytes(16, 0x55)), 0xF1);
  EXPECT_EQ(ReadBlock(11), Concat({Bytes(6, 0), {0x78, 0x77, 0x88, 0x00}, Bytes(6, 0)}));
  EXPECT_EQ(WriteBlock(11, Concat({kFactoryKey, {0xFF, 0x07, 0x80, 0x69}, kFactoryKey})), 0xF1);
  ASSERT_EQ(Authenticate(2, 4, keyB), kOk);
  EXPECT_EQ(WriteBlock(8, Bytes(16, 0x55)), kOk);
}

TEST_F(VirtualMifareCard, TrailerWritesAreRefusedWhereTheyWouldLockOrCannotLand) {
  ASSERT_EQ(Authenticate(3), kOk);
  const MifareClassic::Block before = Raw(15);
  EXPECT_EQ(WriteBlock(15, Concat({kFactoryKey, {0xFF, 0x07, 0x81, 0x69}, kFactoryKey})), 0xF0);
  EXPECT_EQ(Raw(15), before);
  ASSERT_EQ(Authenticate(0), kOk);
  EXPECT_EQ(WriteBlock(0, Bytes(16, 0)), 0xF1);  // the manufacturer block
  // Key B is readable under the factory conditions, so it is data: a card
  // authenticated with it refuses every access.
  ASSERT_EQ(Authenticate(3, 4), kOk);
  EXPECT_EQ(Status(0x51, {12}), 0xF1);
}

TEST_F(VirtualMifareCard, FieldResetAndHaltEndTheSession) {
  ASSERT_EQ(Authenticate(1), kOk);
  EXPECT_EQ(Status(0x72), kOk);
  EXPECT_EQ(Status(0x51, {4}), 0xFF);
  EXPECT_EQ(Status(0x80), kOk);
  EXPECT_EQ(Status(0x51, {4}), 0xF8);

  EXPECT_EQ(Status(0x58), kOk);
  EXPECT_TRUE(card->IsHalted());
  EXPECT_EQ(Status(0x58), 0xFF);
  EXPECT_EQ(Status(0x80), 0xFF);
  EXPECT_EQ(Status(0x40, {0x26}), 0xFF);
  EXPECT_EQ(Run(0x40, {0x52}).data, (Bytes{0x04, 0x00}));  // wakes it
  EXPECT_EQ(Status(0x80), kOk);
  EXPECT_EQ(Status(0x58), kOk);
  EXPECT_EQ(Status(0x72), kOk);  // power returns: the card answers again
  EXPECT_EQ(Status(0x80), kOk);
}

TEST_F(VirtualMifareCard, ValueCommandsDecrementIncrementAndCopyIntoTheDestination) {
  ASSERT_EQ(Authenticate(1), kOk);
  const auto value = [&](int block) { return mifare::ParseValueBlock(Raw(block)); };
  ASSERT_EQ(WriteBlock(4, Bytes{100, 0, 0, 0, 155, 255, 255, 255, 100, 0, 0, 0, 0xAA, 0x55, 0xAA, 0x55}), kOk);
  EXPECT_EQ(Status(0x53, {4, 5, 30, 0, 0, 0}), kOk);
  ASSERT_TRUE(value(5));
  EXPECT_EQ(value(5)->value, 70);
  EXPECT_EQ(value(5)->address, 0xAA);
  EXPECT_EQ(value(4)->value, 100);
  EXPECT_EQ(Status(0x54, {5, 6, 0x05, 0x01, 0, 0}), kOk);
  EXPECT_EQ(value(6)->value, 70 + 0x105);
  EXPECT_EQ(Status(0x55, {6, 4}), kOk);
  EXPECT_EQ(value(4)->value, 70 + 0x105);

  EXPECT_EQ(Status(0x53, {5, 5, 71, 0, 0, 0}), 0xEF);                // below zero
  EXPECT_EQ(Status(0x54, {5, 5, 0xFF, 0xFF, 0xFF, 0x7F}), 0xEF);     // past 2^31 - 1
  EXPECT_EQ(value(5)->value, 70);
  EXPECT_EQ(Status(0x53, {7, 5, 1, 0, 0, 0}), 0xF1);  // a trailer holds no value
  ASSERT_EQ(WriteBlock(6, Bytes(16, 0)), kOk);
  EXPECT_EQ(Status(0x55, {6, 5}), 0xF1);               // not the value layout
  EXPECT_EQ(Status(0x55, {4, 8}), 0xF8);               // destination in another sector
}

TEST_F(VirtualMifareCard, FilesAreTheDataBlocksOfASectorReadWithTheSelectedKey) {
  ASSERT_EQ(Status(0x80), kOk);
  EXPECT_EQ(Status(0x81, {1, 2, 0, 16}), 0xF9);  // no key A loaded for slot 2
  ASSERT_EQ(Status(0x56, Concat({{0, 2}, kFactoryKey})), kOk);
  card->PokeBlock(5, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  EXPECT_EQ(Run(0x81, {1, 2, 14, 4}).data, (Bytes{0, 0, 0, 1}));  // across blocks 4 and 5
  EXPECT_EQ(Run(0x81, {1, 2, 0, 48}).data.size(), 48u);
  EXPECT_EQ(Status(0x81, {1, 2, 40, 9}), 0xF0);
  EXPECT_EQ(Status(0x81, {16, 2, 0, 1}), 0xF0);

  EXPECT_EQ(Status(0x72), kOk);
  EXPECT_EQ(Status(0x80), kOk);
  EXPECT_EQ(Status(0x82, {1, 2, 30, 2, 0xAB, 0xCD}), 0xF8);  // no 0x83 before it
  ASSERT_EQ(Status(0x83, {1, 2}), kOk);
  EXPECT_EQ(Status(0x82, {1, 2, 30, 2, 0xAB}), 0xF0);         // one byte short
  EXPECT_EQ(Status(0x82, {1, 2, 31, 2, 0xAB, 0xCD}), kOk);
  EXPECT_EQ(Raw(5)[15], 0xAB);
  EXPECT_EQ(Raw(6)[0], 0xCD);
  EXPECT_EQ(Raw(5)[14], 14);
  EXPECT_EQ(Status(0x83, {0, 2}), kOk);
  EXPECT_EQ(Status(0x82, {0, 2, 0, 1, 0x00}), 0xF1);  // file 0 starts with block 0
}

TEST_F(VirtualMifareCard, ACpuCardInTheFieldIsActivatedButRefusesMifareCommands) {
  state.field.Clear();
  state.field.Insert(std::make_shared<CpuCard>());
  EXPECT_EQ(Run(0x40, {0x26}).data, (Bytes{0x08, 0x00}));
  Reply activation = Run(0x80);
  ASSERT_EQ(activation.status, kOk);
  EXPECT_EQ(activation.data.back(), 0x20);
  EXPECT_EQ(Status(0x51, {4}), 0xFB);
  EXPECT_EQ(Status(0x81, {1, 1, 0, 1}), 0xFB);
}

// C1 and D1 first differ in bit 4 (low bit first), where D1 sends the 1:
// anticollision finds the card that came second.
TEST_F(VirtualMifareCard, WithSeveralCardsAnticollisionFindsOneAndAnyCanBeSelected) {
  auto second = std::make_shared<MifareClassic>(std::array<uint8_t, 4>{0xD1, 0xD2, 0xD3, 0xD4});
  state.field.Insert(second);
  EXPECT_EQ(Run(0x41).data, (Bytes{0xD1, 0xD2, 0xD3, 0xD4}));
  EXPECT_EQ(Run(0x80).data, (Bytes{0xD1, 0xD2, 0xD3, 0xD4, 0x08}));
  EXPECT_EQ(Status(0x42, {kSerial[0], kSerial[1], kSerial[2], kSerial[3]}), kOk);
  EXPECT_NE(state.field.Selected(), second);
  EXPECT_EQ(Status(0x42, {0xD1, 0xD2, 0xD3, 0xD4}), kOk);
  EXPECT_EQ(state.field.Selected(), second);
}

TEST(VirtualReaderControl, RecordsControlValuesAndAcceptsKnownSpeedCodes) {
  ReaderState state;
  EXPECT_EQ(Dispatch(state, 0x74, Bytes{0x80, 0x83, 0x00}).status, kOk);
  EXPECT_EQ(state.controlValues, (std::array<uint8_t, 3>{0x80, 0x83, 0x00}));
  EXPECT_EQ(Dispatch(state, 0x71, Bytes{4}).status, kOk);
  EXPECT_EQ(Dispatch(state, 0x71, Bytes{5}).status, 0xF0);
  EXPECT_EQ(Dispatch(state, 0x75, Bytes{2}).status, kOk);
  EXPECT_EQ(Dispatch(state, 0x75, Bytes{3}).status, 0xF0);
}

}  // namespace
}  // namespace vqsim
