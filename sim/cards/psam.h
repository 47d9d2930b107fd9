#pragma once
// The PSAM in the reader's slot. File system:
//   MF 3F00 "1PAY.SYS.DDF01"
//     EF 0015 (SFI 15) PSAM serial number, 10 bytes: read always
//     EF 0016 (SFI 16) terminal number, 6 bytes: read always, update after EXTERNAL AUTHENTICATE
//     DF 1001, name A0 00 00 09 99 02: the purchase application
// PIN 11 22 33 with 3 tries; EXTERNAL AUTHENTICATE key 00 and INTERNAL
// AUTHENTICATE key 01 are 2-key 3DES keys. The purchase application computes
// and checks the purse's MACs (sim/psam_purse.h). In contact mode it answers like a
// T=0 card: a command with data that answers data gives 61 xx, and GET
// RESPONSE fetches the data.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/cards/card.h"
#include "sim/cards/iso7816/card_core.h"
#include "sim/cards/purse/psam_purse.h"

namespace vqsim {

struct PsamProfile {
  static constexpr uint16_t kApplicationDf = 0x1001;
  static constexpr uint8_t kExternalKeyId = 0x00;
  static constexpr uint8_t kInternalKeyId = 0x01;

  std::array<uint8_t, 6> terminalNumber{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  std::vector<uint8_t> serialNumber{0x50, 0x53, 0x41, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
  std::vector<uint8_t> applicationName{0xA0, 0x00, 0x00, 0x09, 0x99, 0x02};
  std::vector<uint8_t> pin{0x11, 0x22, 0x33};
  DesKey externalKey{0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77,
                     0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88};
  DesKey internalKey{0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99,
                     0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  std::optional<uint32_t> randomSeed;  // none: fresh randoms (CardCore)
  purse::PurseKeys masterKeys = purse::kDefaultMasterKeys;  // the card issuer's
  uint32_t terminalSerial = 1;  // the terminal transaction serial number of the next purchase
};

class Psam : public ApduCard {
 public:
  explicit Psam(PsamProfile profile = {});

  void SetContactMode(bool enabled) { core_.SetAnswersByGetResponse(enabled); }
  std::vector<uint8_t> Exchange(std::span<const uint8_t> command) override;
  std::vector<uint8_t> Reset() override;  // the answer to reset

  CardCore& Core() { return core_; }
  PsamPurse& Purchase() { return purse_; }

 private:
  CardCore core_;
  PsamPurse purse_;
};

}  // namespace vqsim
