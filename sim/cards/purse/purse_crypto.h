#pragma once
// The electronic purse's cryptography, as pure functions shared by the
// card, the PSAM and the tests:
//   - single DES, computed as triple DES with equal keys (the default
//     provider of libcrypto has no single DES of its own);
//   - the purse MAC: CBC with single DES from a zero initial value over the
//     data padded with 80 00 .., the first four bytes of the last block;
//   - key diversification: a card key from a master key and 8 bytes of
//     diversification data, left half 3DES(data), right half 3DES(~data);
//   - the card keys: master key -> issuer key (the issuer identifier) ->
//     card key (the last 8 bytes of the application serial number);
//   - session keys and the inputs of MAC1, MAC2 and TAC for a purchase and
//     a load. The TAC is a purse MAC keyed with the card's TAC key folded
//     to single length (left half XOR right half).

#include <array>
#include <cstdint>
#include <span>

#include "sim/cards/iso7816/des3.h"

namespace vqsim::purse {

using SingleKey = DesBlock;  // a single-length DES key (session keys, the folded TAC key)
using TerminalNumber = std::array<uint8_t, 6>;
using CardRandom = std::array<uint8_t, 4>;
using IssuerId = std::array<uint8_t, 8>;
using ApplicationSerial = std::array<uint8_t, 8>;  // the last 8 bytes of the 10-byte number

inline constexpr uint8_t kLoadType = 0x02;      // transaction type of a purse load
inline constexpr uint8_t kPurchaseType = 0x06;  // transaction type of a purse purchase

// The three keys of a purse: purchase (DPK), load (DLK) and TAC (DTK).
struct PurseKeys {
  DesKey purchase{};
  DesKey load{};
  DesKey tac{};
};

// The master keys of the virtual issuer, which its cards and PSAMs share
// unless a profile says otherwise.
inline constexpr PurseKeys kDefaultMasterKeys{
    {0x50, 0x55, 0x52, 0x43, 0x48, 0x41, 0x53, 0x45, 0x4D, 0x41, 0x53, 0x54, 0x45, 0x52, 0x4B, 0x31},
    {0x4C, 0x4F, 0x41, 0x44, 0x4D, 0x41, 0x53, 0x54, 0x45, 0x52, 0x4B, 0x45, 0x59, 0x30, 0x30, 0x31},
    {0x54, 0x41, 0x43, 0x4D, 0x41, 0x53, 0x54, 0x45, 0x52, 0x4B, 0x45, 0x59, 0x30, 0x30, 0x30, 0x31}};

// Transaction date (YYYYMMDD) and time (hhmmss) in BCD, as the terminal sends them.
struct DateTime {
  std::array<uint8_t, 4> date{};
  std::array<uint8_t, 3> time{};
};

struct PurchaseTerms {
  uint32_t amount = 0;
  TerminalNumber terminal{};
  uint32_t terminalSerial = 0;  // the PSAM's transaction serial number
  DateTime when;
};

struct LoadTerms {
  uint32_t amount = 0;
  TerminalNumber terminal{};
  DateTime when;
};

DesBlock EncryptDes(const SingleKey& key, const DesBlock& block);
// CBC encryption of whole blocks from `initialValue`; the last cipher block.
// `blocks` must be a non-empty multiple of 8 bytes.
DesBlock CbcMacDes(const SingleKey& key, const DesBlock& initialValue, std::span<const uint8_t> blocks);
Mac PurseMac(const SingleKey& key, std::span<const uint8_t> data);

DesKey Diversify(const DesKey& master, const DesBlock& data);
PurseKeys CardKeys(const PurseKeys& master, const IssuerId& issuer, const ApplicationSerial& serial);
SingleKey FoldTacKey(const DesKey& tacKey);

SingleKey PurchaseSessionKey(const DesKey& purchaseKey, const CardRandom& random, uint16_t offlineSerial,
                             uint32_t terminalSerial);
Mac PurchaseMac1(const SingleKey& session, const PurchaseTerms& terms);
Mac PurchaseMac2(const SingleKey& session, uint32_t amount);
Mac PurchaseTac(const DesKey& tacKey, const PurchaseTerms& terms);

SingleKey LoadSessionKey(const DesKey& loadKey, const CardRandom& random, uint16_t onlineSerial);
Mac LoadMac1(const SingleKey& session, uint32_t oldBalance, const LoadTerms& terms);
Mac LoadMac2(const SingleKey& session, const LoadTerms& terms);
Mac LoadTac(const DesKey& tacKey, uint32_t newBalance, uint16_t onlineSerial, const LoadTerms& terms);

}  // namespace vqsim::purse
