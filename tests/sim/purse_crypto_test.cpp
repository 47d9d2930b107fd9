// The key derivation a card and a PSAM must agree on. The cipher's
// published known answers are cipher_known_answers.cpp, which runs on
// both platforms.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/cards/purse/purse_crypto.h"

namespace vqsim::purse {
namespace {

TEST(PurseCrypto, CbcMacRefusesDataOfNoWholeBlocks) {
  const SingleKey key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_THROW(CbcMacDes(key, DesBlock{}, std::vector<uint8_t>(7, 0)), std::invalid_argument);
}

// Left half 3DES(data), right half 3DES(~data); the card key goes through
// the issuer identifier first, then the application serial number.
TEST(PurseCrypto, DiversificationEncryptsTheDataAndItsComplement) {
  const DesKey master = kDefaultMasterKeys.purchase;
  const DesBlock data{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34};
  const DesKey key = Diversify(master, data);
  const DesBlock left = Encrypt3Des(master, data);
  const DesBlock right = Encrypt3Des(master, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xED, 0xCB});
  EXPECT_TRUE(std::equal(left.begin(), left.end(), key.begin()));
  EXPECT_TRUE(std::equal(right.begin(), right.end(), key.begin() + 8));

  const IssuerId issuer{0x51, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01};
  const PurseKeys card = CardKeys(kDefaultMasterKeys, issuer, data);
  EXPECT_EQ(card.purchase, Diversify(Diversify(master, issuer), data));
  EXPECT_NE(card.purchase, card.load);
  EXPECT_NE(card.load, card.tac);
  EXPECT_NE(CardKeys(kDefaultMasterKeys, issuer, {0, 0, 0, 0, 0, 0, 0x12, 0x35}).purchase, card.purchase);
}

}  // namespace
}  // namespace vqsim::purse
