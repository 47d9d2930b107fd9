#pragma once
// The contactless CPU user card: ISO/IEC 14443 type A (SAK 0x20) carrying
// APDUs. File system:
//   MF 3F00 "1PAY.SYS.DDF01"
//     DF 1001, name A0 00 00 09 99 01: the toll application
//       EF 0015 (SFI 15) issuer data, 30 bytes: read always, update after EXTERNAL AUTHENTICATE
//       EF 0016 (SFI 16) cardholder data, 40 bytes: read and update after VERIFY
//       EF 0018 (SFI 18) transactions, cyclic, 10 records of 23 bytes:
//                        read always, append after VERIFY
// PIN 12 34 56 with 3 tries; EXTERNAL AUTHENTICATE key 01, INTERNAL
// AUTHENTICATE key 01 and the secure-messaging MAC key are 2-key 3DES keys.
// The application holds the electronic purse (sim/purse.h), whose keys the
// card diversifies from the issuer's master keys with the issuer identifier
// and application serial number of EF 0015 (layout in IssuerFile).

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/cards/card.h"
#include "sim/cards/iso7816/card_core.h"
#include "sim/cards/purse/purse.h"

namespace vqsim {

struct CpuCardProfile {
  static constexpr uint16_t kApplicationDf = 0x1001;
  static constexpr uint16_t kIssuerFile = 0x0015;
  static constexpr uint16_t kCardholderFile = 0x0016;
  static constexpr uint16_t kTransactionFile = 0x0018;
  static constexpr uint8_t kExternalKeyId = 0x01;
  static constexpr uint8_t kInternalKeyId = 0x01;
  static constexpr size_t kTransactionRecordLength = 23;
  static constexpr size_t kTransactionCapacity = 10;

  std::array<uint8_t, 4> serial{0x5A, 0x11, 0x22, 0x33};
  std::vector<uint8_t> applicationName{0xA0, 0x00, 0x00, 0x09, 0x99, 0x01};
  std::vector<uint8_t> pin{0x12, 0x34, 0x56};
  DesKey externalKey{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                     0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22};
  DesKey internalKey{0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33,
                     0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44};
  DesKey macKey{0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55,
                0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};
  uint32_t balance = 10000;  // in the purse's smallest unit
  purse::PurseKeys masterKeys = purse::kDefaultMasterKeys;  // the issuer's, shared with its PSAMs
  // Issuer identifier, application type and version, application serial
  // number, start and end dates (BCD), two spare bytes.
  std::vector<uint8_t> issuerData{0x51, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x01,
                                  0x02, 0x01,
                                  0x00, 0x00, 0x20, 0x26, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34,
                                  0x20, 0x26, 0x01, 0x01, 0x20, 0x36, 0x12, 0x31,
                                  0x00, 0x00};
  std::vector<uint8_t> cardholderData = std::vector<uint8_t>(40, 0xC4);
  // What a card that has served lanes holds: its counters, whether its
  // application is blocked, its transaction records (newest first; none:
  // two earlier transactions, numbered 2 and 1).
  uint16_t purchaseCounter = 0;
  uint16_t loadCounter = 0;
  PurseBlock blocked = PurseBlock::kNone;
  std::optional<std::vector<std::vector<uint8_t>>> transactionRecords;
  std::optional<uint32_t> randomSeed;  // none: fresh randoms (CardCore)
};

class CpuCard : public Card, public ApduCard {
 public:
  explicit CpuCard(CpuCardProfile profile = {});

  std::array<uint8_t, 4> Serial() const override { return serial_; }
  std::array<uint8_t, 2> AnswerToRequest() const override { return {0x08, 0x00}; }
  uint8_t Sak() const override { return 0x20; }
  void PowerCycle() override;

  std::vector<uint8_t> Exchange(std::span<const uint8_t> command) override;
  std::vector<uint8_t> Reset() override;  // the answer to select

  CardCore& Core() { return core_; }
  Purse& ElectronicPurse() { return purse_; }
  const Purse& ElectronicPurse() const { return purse_; }
  uint32_t Balance() const { return purse_.Balance(); }
  // An EF of the toll application (kIssuerFile, kCardholderFile, kTransactionFile).
  const CardFile& ApplicationFile(uint16_t id) const;

 private:
  std::array<uint8_t, 4> serial_;
  CardCore core_;
  Purse purse_;
};

}  // namespace vqsim
