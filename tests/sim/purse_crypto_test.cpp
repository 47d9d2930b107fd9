// The purse's cryptographic building blocks against published known
// answers, and the key derivation a card and a PSAM must agree on.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/cards/purse/purse_crypto.h"

namespace vqsim::purse {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Ascii(const std::string& text) { return {text.begin(), text.end()}; }

// NIST SP 800-20, Table A.1 (variable plaintext known answers, TDEA with
// three equal keys 01..01, that is single DES), and the first block of the
// FIPS 81 ECB example (key 0123456789ABCDEF, "Now is the time for all ").
TEST(PurseCrypto, SingleDesMatchesPublishedKnownAnswers) {
  const SingleKey ones{0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  EXPECT_EQ(EncryptDes(ones, {0x80, 0, 0, 0, 0, 0, 0, 0}),
            (DesBlock{0x95, 0xF8, 0xA5, 0xE5, 0xDD, 0x31, 0xD9, 0x00}));
  EXPECT_EQ(EncryptDes(ones, {0x40, 0, 0, 0, 0, 0, 0, 0}),
            (DesBlock{0xDD, 0x7F, 0x12, 0x1C, 0xA5, 0x01, 0x56, 0x19}));
  const SingleKey fips81{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(EncryptDes(fips81, {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'}),
            (DesBlock{0x3F, 0xA4, 0x0E, 0x8A, 0x98, 0x4D, 0x48, 0x15}));
}

// NIST CAVP TDES multi-block message test, keying option 2 (TECBMMT2.rsp,
// [ENCRYPT] COUNT = 1): KEY1 259DF16E7AF804FE, KEY2 83B90E9BF7C7E557.
TEST(PurseCrypto, TwoKeyTripleDesMatchesTheCavpMultiBlockTest) {
  const DesKey key{0x25, 0x9D, 0xF1, 0x6E, 0x7A, 0xF8, 0x04, 0xFE,
                   0x83, 0xB9, 0x0E, 0x9B, 0xF7, 0xC7, 0xE5, 0x57};
  EXPECT_EQ(Encrypt3Des(key, {0xA4, 0x61, 0x9C, 0x43, 0x3B, 0xBD, 0x67, 0x87}),
            (DesBlock{0x9E, 0x06, 0xDE, 0x15, 0x5C, 0x48, 0x3C, 0x6B}));
  EXPECT_EQ(Encrypt3Des(key, {0xC0, 0x7C, 0x81, 0x72, 0x8F, 0x9A, 0xC9, 0xFA}),
            (DesBlock{0xCF, 0xD8, 0x34, 0xDB, 0xC8, 0xBD, 0x58, 0x30}));
}

// FIPS 113 (ISO/IEC 9797-1 MAC algorithm 1 with DES, padding method 1):
// "7654321 Now is the time for " zero-padded gives F1D30F6849312CA4. The
// ISO/IEC 9797-1 example "Now is the time for all " gives 70A30640CC76DD8B
// (also the last block of the FIPS 81 CBC example from a zero IV).
TEST(PurseCrypto, CbcMacMatchesFips113AndIso9797Examples) {
  const SingleKey key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  Bytes fips113 = Ascii("7654321 Now is the time for ");
  fips113.resize(32, 0x00);
  EXPECT_EQ(CbcMacDes(key, DesBlock{}, fips113), (DesBlock{0xF1, 0xD3, 0x0F, 0x68, 0x49, 0x31, 0x2C, 0xA4}));
  const Bytes nowIsTheTime = Ascii("Now is the time for all ");
  const DesBlock allBlocks{0x70, 0xA3, 0x06, 0x40, 0xCC, 0x76, 0xDD, 0x8B};
  EXPECT_EQ(CbcMacDes(key, DesBlock{}, nowIsTheTime), allBlocks);
  EXPECT_THROW(CbcMacDes(key, DesBlock{}, Bytes(7, 0)), std::invalid_argument);

  // The purse MAC pads with 80 00 .. even whole blocks: one more block,
  // chained from the published MAC of the three.
  DesBlock padBlock = allBlocks;
  padBlock[0] ^= 0x80;
  const DesBlock padded = EncryptDes(key, padBlock);
  EXPECT_EQ(PurseMac(key, nowIsTheTime), (Mac{padded[0], padded[1], padded[2], padded[3]}));
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
