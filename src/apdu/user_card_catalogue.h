#pragma once
// The commands the host sends to the CPU user card over channel 0x60, one
// row each, named as the operations they are: the file and security
// commands, the purse and application-management commands, and the
// class-0x80 commands without a standard name. ApduChannels::Run runs a
// row with the caller's arguments, which come in the command's order:
// header bytes marked kArg, then lc (or n), data, le, out, outLength, sw.

#include "apdu/catalogue_rows.h"
#include "protocol/commands.h"

namespace vqhw::apdu::user_card {

using namespace rows;

constexpr CatalogueCommand Pro(std::array<int16_t, 4> header, Body body, Reply reply) {
  return {command::kUserCardApdu, Row(header, body, reply)};
}

//                                                              CLA   INS   P1    P2     body              reply
inline constexpr CatalogueCommand kAppendRecord          = Pro({kArg, 0xE2, 0x00, kArg}, kSecureMessaging, S);
inline constexpr CatalogueCommand kVerify                = Pro({kArg, 0x20, 0x00, kArg}, kSecureMessaging, S);
inline constexpr CatalogueCommand kExternalAuthenticate  = Pro({0x00, 0x82, 0x00, kArg}, Data(8),          S);
inline constexpr CatalogueCommand kGetChallenge          = Pro({0x00, 0x84, 0x00, 0x00}, kP3Le,            kFLe);
inline constexpr CatalogueCommand kInternalAuthenticate  = Pro({0x00, 0x88, kArg, kArg}, LcUpTo(8),        V);
inline constexpr CatalogueCommand kSelectFile            = Pro({0x00, 0xA4, kArg, kArg}, kLcLe,            kFLe);
inline constexpr CatalogueCommand kReadBinary            = Pro({kArg, 0xB0, kArg, kArg}, kMacOnClass04,    kFLe);
inline constexpr CatalogueCommand kReadRecord            = Pro({kArg, 0xB2, kArg, kArg}, kMacOnClass04,    kFLe);
inline constexpr CatalogueCommand kGetResponse           = Pro({0x00, 0xC0, 0x00, 0x00}, kP3Le,            kFLe);
inline constexpr CatalogueCommand kChangeReferenceData   = Pro({kArg, 0x24, 0x00, kArg}, Data(16),         S);
inline constexpr CatalogueCommand kSendCommand           = Pro({kArg, kArg, kArg, kArg}, kLc,              V);

inline constexpr CatalogueCommand kIns0E                 = Pro({0x80, 0x0E, 0x00, 0x00}, P3(0x00),         S);
inline constexpr CatalogueCommand kIns14                 = Pro({0x80, 0x14, 0x00, 0x00}, Data(1),          S);
inline constexpr CatalogueCommand kIns2C                 = Pro({0x80, 0x2C, 0x00, kArg}, Data(16),         S);
inline constexpr CatalogueCommand kIns30                 = Pro({kArg, 0x30, 0x00, kArg}, kLc,              V);
inline constexpr CatalogueCommand kIns32                 = Pro({kArg, 0x32, 0x00, kArg}, kLc,              V);
inline constexpr CatalogueCommand kInsC2                 = Pro({0x80, 0xC2, kArg, kArg}, kLc,              V);
inline constexpr CatalogueCommand kInsC4                 = Pro({0x80, 0xC4, kArg, kArg}, kLc,              V);
inline constexpr CatalogueCommand kInsC6                 = Pro({0x80, 0xC6, kArg, kArg}, kLc,              V);
inline constexpr CatalogueCommand kInsC8                 = Pro({0x80, 0xC8, kArg, kArg}, kLc,              S);
inline constexpr CatalogueCommand kInsCC                 = Pro({0x80, 0xCC, kArg, kArg}, LcThenLe(0x20),   V);
inline constexpr CatalogueCommand kInsD4                 = Pro({kArg, 0xD4, kArg, kArg}, kLc,              S);
inline constexpr CatalogueCommand kInsE0                 = Pro({0x80, 0xE0, kArg, kArg}, kLc,              S);

inline constexpr CatalogueCommand kCardBlock             = Pro({0x84, 0x16, 0x00, 0x00}, Data(4),          S);
inline constexpr CatalogueCommand kApplicationUnblock    = Pro({0x84, 0x18, 0x00, 0x00}, Data(4),          S);
inline constexpr CatalogueCommand kApplicationBlock      = Pro({0x84, 0x1E, 0x00, kArg}, Data(4),          S);
inline constexpr CatalogueCommand kPinUnblock            = Pro({0x84, 0x24, 0x00, 0x01}, Data(12),         S);
inline constexpr CatalogueCommand kChangePin             = Pro({0x80, 0x5E, kArg, 0x00}, kLc,              S);
inline constexpr CatalogueCommand kInitializeForLoad     = Pro({0x80, 0x50, 0x00, kArg}, Data(11, 0x10),   V);
// The card answers a 4-byte TAC, so its status word is D[4] D[5].
inline constexpr CatalogueCommand kCreditForLoad         = Pro({0x80, 0x52, 0x00, 0x00}, Data(11, 0x04),   V);
inline constexpr CatalogueCommand kInitializeForPurchase = Pro({0x80, 0x50, kArg, kArg}, Data(11, 0x0F),   F(15));
inline constexpr CatalogueCommand kDebitForPurchase      = Pro({0x80, 0x54, 0x01, 0x00}, Data(15, 0x08),   F(8));
inline constexpr CatalogueCommand kInitializeForUnload   = Pro({0x80, 0x50, 0x05, kArg}, Data(11, 0x10),   F(16));
inline constexpr CatalogueCommand kDebitForUnload        = Pro({0x80, 0x54, 0x03, 0x00}, Data(11, 0x04),   F(4));
inline constexpr CatalogueCommand kInitializeForUpdate   = Pro({0x80, 0x50, 0x04, kArg}, Data(7, 0x13),    F(19));
inline constexpr CatalogueCommand kUpdateOverdrawLimit   = Pro({0x80, 0x58, 0x00, 0x00}, Data(14, 0x04),   F(4));
inline constexpr CatalogueCommand kGetTransactionProve   = Pro({0x80, 0x5A, 0x00, kArg}, DataLe(2),        kFLe);
inline constexpr CatalogueCommand kGetBalance            = Pro({0x80, 0x5C, 0x00, kArg}, P3(0x04),         F(4));

}  // namespace vqhw::apdu::user_card
