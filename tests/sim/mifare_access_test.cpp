// The pure parts of the virtual MIFARE Classic card: the access bits and the
// value block layout.

#include <gtest/gtest.h>

#include "shared/mifare_access.h"
#include "sim/cards/mifare/mifare_value_block.h"

namespace vqsim::mifare {
namespace {

using namespace vqshared::mifare;

std::optional<SectorConditions> Decode(std::array<uint8_t, 3> bytes) {
  return DecodeAccessBits(std::span<const uint8_t, 3>(bytes));
}

TEST(AccessBits, KnownTrailersDecodeToTheirConditions) {
  EXPECT_EQ(Decode({0xFF, 0x07, 0x80}), (SectorConditions{0, 0, 0, 1}));  // factory
  EXPECT_EQ(Decode({0x78, 0x77, 0x88}), (SectorConditions{4, 4, 4, 3}));
  EXPECT_EQ(EncodeAccessBits({0, 0, 0, 1}), (std::array<uint8_t, 3>{0xFF, 0x07, 0x80}));
}

TEST(AccessBits, EveryCombinationSurvivesEncodingAndAnyFlippedBitIsCaught) {
  for (int n = 0; n < 8 * 8 * 8 * 8; ++n) {
    const SectorConditions conditions{static_cast<Condition>(n & 7), static_cast<Condition>(n >> 3 & 7),
                                      static_cast<Condition>(n >> 6 & 7), static_cast<Condition>(n >> 9 & 7)};
    const auto bytes = EncodeAccessBits(conditions);
    ASSERT_EQ(Decode(bytes), conditions) << n;
    for (int bit = 0; bit < 24; ++bit) {
      auto flipped = bytes;
      flipped[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
      ASSERT_FALSE(Decode(flipped)) << n << " bit " << bit;
    }
  }
}

TEST(AccessBits, RightsFollowTheConditions) {
  // Transport conditions: both keys do everything with data.
  EXPECT_TRUE(Allows(Condition{0}, DataRight::Write, KeyType::A));
  // 100: both read, only key B writes.
  EXPECT_TRUE(Allows(Condition{4}, DataRight::Read, KeyType::A));
  EXPECT_FALSE(Allows(Condition{4}, DataRight::Write, KeyType::A));
  EXPECT_TRUE(Allows(Condition{4}, DataRight::Write, KeyType::B));
  // 110: key B recharges, both keys debit.
  EXPECT_FALSE(Allows(Condition{6}, DataRight::Increment, KeyType::A));
  EXPECT_TRUE(Allows(Condition{6}, DataRight::DecrementTransferRestore, KeyType::A));
  EXPECT_FALSE(Allows(Condition{7}, DataRight::Read, KeyType::B));
  // Trailers: transport lets key A rewrite it all, and key B is readable.
  EXPECT_TRUE(Allows(Condition{1}, TrailerRight::WriteAccessBits, KeyType::A));
  EXPECT_TRUE(KeyBIsReadable(1));
  EXPECT_FALSE(KeyBIsReadable(3));
  EXPECT_FALSE(Allows(Condition{3}, TrailerRight::WriteKeyA, KeyType::A));
  EXPECT_TRUE(Allows(Condition{3}, TrailerRight::WriteKeyA, KeyType::B));
  EXPECT_TRUE(Allows(Condition{3}, TrailerRight::ReadAccessBits, KeyType::A));
}

TEST(ValueBlock, LayoutRoundTripsAndAnyBrokenCopyIsRefused) {
  const auto block = MakeValueBlock({100, 0x05});
  EXPECT_EQ(block, (std::array<uint8_t, 16>{0x64, 0, 0, 0, 0x9B, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0,
                                           0x05, 0xFA, 0x05, 0xFA}));
  const auto parsed = ParseValueBlock(block);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->value, 100);
  EXPECT_EQ(parsed->address, 0x05);
  EXPECT_EQ(ParseValueBlock(MakeValueBlock({-1, 0xAA}))->value, -1);
  for (size_t i = 0; i < block.size(); ++i) {
    auto broken = block;
    broken[i] ^= 0x01;
    EXPECT_FALSE(ParseValueBlock(broken)) << i;
  }
}

}  // namespace
}  // namespace vqsim::mifare
