#pragma once
// The PSAM's side of the electronic purse, in its purchase application
// (DF 1001). It holds the issuer's master keys and derives each card's keys
// from the diversification data the terminal sends:
//   80 70 00 00 24  MAC1 of a purchase. Data: card random (4), card offline
//                   counter (2), amount (4), transaction type 06 (1), date (4),
//                   time (3), key version (1), algorithm (1), application
//                   serial number (its last 8 bytes), issuer identifier (8).
//                   Answers its terminal transaction serial number (4) and
//                   MAC1 (4); the terminal number is its EF 0016.
//   80 72 00 00 04  checks the card's MAC2 of the purchase that the last
//                   80 70 began (once).
//   80 1A 03 vv 10  takes the card's TAC key of key version vv for the next
//                   80 FA; data: application serial number (8), issuer
//                   identifier (8).
//   80 FA 05 00 Lc  the purse MAC of the data with that TAC key: a terminal
//                   checks a card's TAC without holding any key itself.

#include <cstdint>
#include <optional>

#include "sim/cards/iso7816/card_core.h"
#include "sim/cards/purse/purse.h"
#include "sim/cards/purse/purse_crypto.h"

namespace vqsim {

struct PsamPurseSetup {
  purse::PurseKeys masterKeys;
  uint32_t terminalSerial = 1;  // the number the next MAC1 answers
};

class PsamPurse {
 public:
  static constexpr uint8_t kTacKeyUsage = 0x03;   // P1 of 80 1A
  static constexpr uint8_t kMacOperation = 0x05;  // P1 of 80 FA

  // Installs the commands in `core`, for the DF `applicationDf`; the
  // terminal number is read from `terminalFile` when it is needed.
  PsamPurse(CardCore& core, const CardFile& terminalFile, uint16_t applicationDf, PsamPurseSetup setup);
  PsamPurse(const PsamPurse&) = delete;  // the core's commands refer to this object
  PsamPurse& operator=(const PsamPurse&) = delete;

  void Reset();
  uint32_t TerminalSerial() const { return terminalSerial_; }

 private:
  struct OpenPurchase {
    purse::SingleKey session{};
    uint32_t amount = 0;
  };

  std::optional<uint16_t> RefusedOutsideApplication() const;
  ResponseApdu PurchaseMac1(const CommandApdu& apdu);
  ResponseApdu CheckMac2(const CommandApdu& apdu);
  ResponseApdu TakeTacKey(const CommandApdu& apdu);
  ResponseApdu ComputeMac(const CommandApdu& apdu);

  CardCore& core_;
  const CardFile& terminalFile_;
  uint16_t applicationDf_;
  purse::PurseKeys masterKeys_;
  uint32_t terminalSerial_;
  std::optional<OpenPurchase> open_;
  std::optional<purse::SingleKey> tacKey_;
};

}  // namespace vqsim
