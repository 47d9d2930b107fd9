#pragma once
// The electronic purse of the CPU user card's application: its balance,
// its offline (purchase) and online (load) transaction counters, the
// card's own purse keys, and the commands that move money:
//   80 50 01 02  INITIALIZE FOR PURCHASE  key index, amount, terminal number
//                -> balance, offline counter, overdraft limit, key version,
//                   algorithm, card random
//   80 54 01 00  DEBIT FOR PURCHASE       terminal serial, date, time, MAC1
//                -> TAC, MAC2
//   80 50 00 02  INITIALIZE FOR LOAD      key index, amount, terminal number
//                -> balance, online counter, key version, algorithm, card
//                   random, MAC1 (needs the PIN)
//   80 52 00 00  CREDIT FOR LOAD          date, time, MAC2 -> TAC
//   80 5C 00 02  GET BALANCE
//   80 5A 00 06  GET TRANSACTION PROVE    offline counter of a purchase
//                -> MAC2, TAC of the last purchase, when it has that counter
//   84 1E 00 p2  APPLICATION BLOCK (p2 01: for good), 84 18 APPLICATION
//                UNBLOCK, both with the secure-messaging MAC
// A purchase or load that the card accepted appends its record to the
// cyclic transaction file: counter (2), overdraft limit (3), amount (4),
// type (1), terminal number (6), date (4), time (3).
// INITIALIZE opens a transaction that only the DEBIT or CREDIT right after
// it may finish; any other command, a wrong MAC or a reset drops it. A
// refused command leaves the balance and the counters as they were.

#include <cstdint>
#include <optional>

#include "sim/cards/iso7816/card_core.h"
#include "sim/cards/purse/purse_crypto.h"

namespace vqsim {

// Status words of the purse commands, on the card and on the PSAM.
namespace sw {
inline constexpr uint16_t kInvalidState = 0x6901;         // no transaction open for this command
inline constexpr uint16_t kIncorrectData = 0x6A80;        // data the command cannot take
inline constexpr uint16_t kPurseFull = 0x6A84;            // a load past the largest balance
inline constexpr uint16_t kWrongPurseMac = 0x9302;        // MAC1 or MAC2 does not prove right
inline constexpr uint16_t kApplicationBlocked = 0x9303;
inline constexpr uint16_t kInsufficientBalance = 0x9401;
inline constexpr uint16_t kCounterExhausted = 0x9402;     // the transaction counter is at its end
inline constexpr uint16_t kKeyIndexUnsupported = 0x9403;
inline constexpr uint16_t kProveUnavailable = 0x9406;     // no transaction of that counter and type to prove
}  // namespace sw

// Where the issuer file (EF 0015) keeps what the purse and the terminal
// need: the issuer identifier and the application serial number, whose last
// 8 bytes diversify the card's keys.
struct IssuerFile {
  static constexpr size_t kSize = 30;
  static constexpr size_t kIssuerIdOffset = 0;            // 8 bytes
  static constexpr size_t kApplicationSerialOffset = 10;  // 10 bytes
  static constexpr size_t kDiversifyingSerialOffset = 12; // its last 8 bytes

  static purse::IssuerId IssuerId(std::span<const uint8_t> file);
  static purse::ApplicationSerial DiversifyingSerial(std::span<const uint8_t> file);
};

enum class PurseBlock : uint8_t { kNone, kTemporary, kPermanent };

struct PurseSetup {
  uint32_t balance = 0;
  purse::PurseKeys keys;  // the card's own keys, already diversified
  uint16_t offlineCounter = 0;
  uint16_t onlineCounter = 0;
  PurseBlock blocked = PurseBlock::kNone;
};

class Purse {
 public:
  static constexpr uint8_t kKeyIndex = 0x01;  // the one key of each kind the card holds
  static constexpr uint8_t kKeyVersion = 0x01;
  static constexpr uint8_t kAlgorithm = 0x00;  // triple DES keys, single DES sessions
  static constexpr uint32_t kMostBalance = 0x7FFFFFFF;

  // Installs the purse's commands in `core`; `transactions` is the cyclic
  // record file and `applicationDf` the DF the purse belongs to.
  Purse(CardCore& core, CardFile& transactions, uint16_t applicationDf, PurseSetup setup);
  Purse(const Purse&) = delete;  // the core's commands refer to this object
  Purse& operator=(const Purse&) = delete;

  // Called with every command before the card runs it.
  void BeforeCommand(std::span<const uint8_t> command);
  void Reset() { open_.reset(); }

  uint32_t Balance() const { return balance_; }
  uint16_t OfflineCounter() const { return offlineCounter_; }
  uint16_t OnlineCounter() const { return onlineCounter_; }
  bool Blocked() const { return blocked_ != PurseBlock::kNone; }
  PurseBlock Blocking() const { return blocked_; }

 private:
  struct OpenTransaction {
    bool load = false;
    uint32_t amount = 0;
    purse::TerminalNumber terminal{};
    purse::CardRandom random{};
    purse::SingleKey loadSession{};  // a purchase's session key needs the terminal serial first
  };

  std::optional<uint16_t> RefusedInApplication() const;
  ResponseApdu Initialize(const CommandApdu& apdu);
  ResponseApdu DebitForPurchase(const CommandApdu& apdu);
  ResponseApdu CreditForLoad(const CommandApdu& apdu);
  ResponseApdu GetBalance(const CommandApdu& apdu);
  ResponseApdu GetTransactionProve(const CommandApdu& apdu);
  ResponseApdu BlockApplication(const CommandApdu& apdu);
  ResponseApdu UnblockApplication(const CommandApdu& apdu);
  void Record(uint16_t counter, uint32_t amount, uint8_t type, const purse::TerminalNumber& terminal,
              const purse::DateTime& when);

  CardCore& core_;
  CardFile& transactions_;
  uint16_t applicationDf_;
  uint32_t balance_;
  purse::PurseKeys keys_;
  uint16_t offlineCounter_;
  uint16_t onlineCounter_;
  PurseBlock blocked_;
  std::optional<OpenTransaction> open_;
  // What proves the last purchase, kept like the balance through resets and
  // power cycles: a host whose DEBIT answer was lost asks for it again.
  struct PurchaseProof {
    uint16_t counter = 0;
    Mac mac2{};
    Mac tac{};
  };
  std::optional<PurchaseProof> lastPurchase_;
};

}  // namespace vqsim
