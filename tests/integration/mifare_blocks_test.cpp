// Keys, authentication, blocks and trailers through the exports, against a
// virtual MIFARE Classic card.

#include <cstring>

#include "integration/mifare_fixture.h"

namespace vqtest {
namespace {

const ByteVector kData{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                       0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};

TEST_F(MifareTest, LoadKeyLoadsThenAuthenticatesTheCurrentCard) {
  OpenCard();
  EXPECT_EQ(lib.loadkey(1, 1, kFactoryKey.data()), 0);
  EXPECT_EQ(com1->Frames(), (std::vector<ByteVector>{Bytes("FF 03 56 08 04 01 FF FF FF FF FF FF A7"),
                                                     Bytes("FF 04 50 07 11 22 33 44 04 01 05 E8")}));
  com1->reader.ClearReceived();
  EXPECT_EQ(lib.loadkey(0, 0, kFactoryKey.data()), 0);
  EXPECT_EQ(lib.loadkey(0, 15, kFactoryKey.data()), 0);
  const auto authentications = DataOf(0x50);
  ASSERT_EQ(authentications.size(), 2u);
  EXPECT_EQ(authentications[0].back(), 1);   // sector 0: its second block
  EXPECT_EQ(authentications[1].back(), 61);  // sector 15
}

TEST_F(MifareTest, LoadKeyRefusesBadArgumentsWithoutSending) {
  OpenCard();
  EXPECT_EQ(lib.loadkey(2, 1, kFactoryKey.data()), -1);
  EXPECT_EQ(lib.loadkey(0x40000001, 1, kFactoryKey.data()), -1) << "four times it wraps to 4";
  EXPECT_EQ(lib.loadkey(-1, 1, kFactoryKey.data()), -1);
  EXPECT_EQ(lib.loadkey(0, 16, kFactoryKey.data()), -2);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第二个参数错误"));
  EXPECT_EQ(lib.loadkey(0, 1, nullptr), -3);
  EXPECT_EQ(lib.loadkey_h(0, 1, nullptr), -3);
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(MifareTest, AuthenticationFailuresComeFromTheCard) {
  OpenCard();
  const ByteVector wrongKey(6, 0x12);
  EXPECT_EQ(lib.loadkey(0, 1, wrongKey.data()), -103);
  EXPECT_EQ(lib.LastStatusText(), Gbk("用户卡认证错误"));
  com1->reader.ClearField();
  EXPECT_EQ(lib.loadkey(0, 1, kFactoryKey.data()), 1) << "the key loads, the card is gone";
  EXPECT_EQ(com1->Commands(), (ByteVector{0x56, 0x50, 0x56, 0x50}));
}

TEST_F(MifareTest, BlocksOfTheAuthenticatedSectorAreReadAndWritten) {
  OpenCard();
  ASSERT_EQ(lib.loadkey(0, 1, kFactoryKey.data()), 0);
  EXPECT_EQ(lib.writeblock(0, 5, kData.data()), 0);
  EXPECT_EQ(CardBlock(5), kData);
  uint8_t read[16] = {};
  EXPECT_EQ(lib.readblock(12345, 5, read), 0);
  EXPECT_EQ(ByteVector(read, read + 16), kData);
  EXPECT_EQ(DataOf(0x52), (std::vector<ByteVector>{{0x05, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                                    0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F}}));
  EXPECT_EQ(DataOf(0x51), std::vector<ByteVector>{{0x05}});

  std::memset(read, 0xEE, sizeof read);
  EXPECT_EQ(lib.readblock(0, 8, read), -108);
  EXPECT_EQ(lib.LastStatusText(), Gbk("非法操作，用户卡未经认证"));
  EXPECT_EQ(ByteVector(read, read + 5), (ByteVector{0, 0, 0, 0, 0xEE}));
  EXPECT_EQ(lib.writeblock(0, 8, kData.data()), -108);
}

TEST_F(MifareTest, BlockArgumentsAreRefusedWithoutSending) {
  OpenCard();
  uint8_t read[16];
  char text[33];
  EXPECT_EQ(lib.readblock(0, 64, read), -1);
  EXPECT_EQ(lib.readblock(0, 4, nullptr), -3);
  EXPECT_EQ(lib.readblock_h(0, -1, text), -1);
  EXPECT_EQ(lib.readblock_h(0, 4, nullptr), -3);
  EXPECT_EQ(lib.writeblock(0, 64, kData.data()), -2);
  EXPECT_EQ(lib.writeblock(0, 4, nullptr), -3);
  EXPECT_EQ(lib.writeblock_h(0, 4, nullptr), -3);
  EXPECT_EQ(lib.writekey(0, 16, kData.data()), -2);
  EXPECT_EQ(lib.writekey(0, 1, nullptr), -3);
  EXPECT_EQ(lib.writekey_h(0, -1, "00"), -2);
  EXPECT_EQ(lib.writekey_h(0, 1, nullptr), -3);
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(MifareTest, HexBlockExportsLeaveTheLastStatusAlone) {
  OpenCard();
  ASSERT_EQ(lib.loadkey(0, 1, kFactoryKey.data()), 0);
  PokeBlock(4, kData);
  EXPECT_EQ(lib.loadkey(3, 1, kFactoryKey.data()), -1);
  char text[34];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(lib.readblock_h(0, 4, text), 0);
  EXPECT_STREQ(text, "102132435465768798A9BACBDCEDFE0F");
  EXPECT_EQ(text[33], 'x');
  EXPECT_EQ(lib.writeblock_h(0, 5, HexText(kData).c_str()), 0);
  EXPECT_EQ(CardBlock(5), kData);
  EXPECT_EQ(lib.readblock_h(0, 8, text), -108);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
}

// Texts shorter than the contract send zeros after their bytes, never what
// an earlier call left in the working area.
TEST_F(MifareTest, ShortHexTextsAreFilledWithZeros) {
  OpenCard();
  ASSERT_EQ(lib.loadkey_h(0, 1, "FF FF FF FF FF FF"), 0);
  ASSERT_EQ(lib.writeblock_h(0, 4, HexText(ByteVector(16, 0xEE)).c_str()), 0);
  ASSERT_EQ(lib.writeblock_h(0, 4, "0102"), 0);
  EXPECT_EQ(CardBlock(4), (ByteVector{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  com1->reader.ClearReceived();
  EXPECT_EQ(lib.loadkey_h(0, 1, "FFFF"), -103);
  EXPECT_EQ(DataOf(0x56), (std::vector<ByteVector>{{0, 1, 0xFF, 0xFF, 0, 0, 0, 0}}));
}

// The decoder reads up to 255 characters: texts that long use their first
// bytes and overrun nothing.
TEST_F(MifareTest, LongHexTextsUseTheirFirstBytes) {
  OpenCard();
  const std::string longText(400, 'F');
  EXPECT_EQ(lib.loadkey_h(0, 1, longText.c_str()), 0);
  EXPECT_EQ(lib.writeblock_h(0, 4, longText.c_str()), 0);
  EXPECT_EQ(CardBlock(4), ByteVector(16, 0xFF));
}

TEST_F(MifareTest, WriteKeyWritesTheSectorTrailer) {
  OpenCard();
  ASSERT_EQ(lib.loadkey(0, 15, kFactoryKey.data()), 0);
  const ByteVector trailer{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x80, 0x69, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(lib.writekey(0, 15, trailer.data()), 0);
  EXPECT_EQ(DataOf(0x52).back()[0], 63);
  EXPECT_EQ(CardBlock(63), trailer);
  // 24 digits: those 12 bytes, then 4 zero bytes.
  EXPECT_EQ(lib.writekey_h(0, 15, "FFFFFFFFFFFF FF078069 0A0B"), 0);
  EXPECT_EQ(DataOf(0x52).back(), (ByteVector{63, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x80,
                                             0x69, 0x0A, 0x0B, 0, 0, 0, 0}));
}

// The lane's whole round with a card: authenticate, read and write a
// sector, give it new keys, and find that only the new key opens it.
TEST_F(MifareTest, LaneFlowChangesTheKeysOfASector) {
  OpenReader();
  InsertCard();
  uint8_t record[5];
  ASSERT_EQ(lib.opencard(record), 0);
  ASSERT_EQ(lib.loadkey(0, 2, kFactoryKey.data()), 0);
  for (int block = 8; block < 11; ++block) {
    ByteVector data(16, static_cast<uint8_t>(block));
    ASSERT_EQ(lib.writeblock(0, block, data.data()), 0);
  }
  uint8_t read[16];
  ASSERT_EQ(lib.readblock(0, 9, read), 0);
  EXPECT_EQ(ByteVector(read, read + 16), ByteVector(16, 9));

  const ByteVector keyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  const ByteVector keyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  ByteVector trailer = keyA;
  trailer.insert(trailer.end(), {0xFF, 0x07, 0x80, 0x69});
  trailer.insert(trailer.end(), keyB.begin(), keyB.end());
  ASSERT_EQ(lib.writekey(0, 2, trailer.data()), 0);
  char text[33];
  ASSERT_EQ(lib.readblock_h(0, 11, text), 0);
  EXPECT_STREQ(text, "000000000000FF078069B0B1B2B3B4B5") << "key A reads back as zeros";

  EXPECT_EQ(lib.closecard(), 0);
  ASSERT_EQ(lib.opencard(record), 0);
  EXPECT_EQ(lib.loadkey(0, 2, kFactoryKey.data()), -103);
  EXPECT_EQ(lib.readblock(0, 9, read), -108);
  EXPECT_EQ(lib.loadkey_h(0, 2, "A0A1A2A3A4A5"), 0);
  EXPECT_EQ(lib.readblock(0, 9, read), 0);
  EXPECT_EQ(ByteVector(read, read + 16), ByteVector(16, 9));
  EXPECT_EQ(lib.closecard(), 0);
}

TEST_F(MifareTest, BlockExportsOnAClosedReaderStoreNotOpen) {
  uint8_t read[16];
  EXPECT_EQ(lib.readblock(0, 4, read), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口没打开"));
  EXPECT_EQ(lib.SelectCardType('9'), -1);
  EXPECT_EQ(lib.writeblock_h(0, 4, "00"), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("第一个参数错误"));
  EXPECT_EQ(lib.loadkey(0, 1, kFactoryKey.data()), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口没打开"));
}

}  // namespace
}  // namespace vqtest
