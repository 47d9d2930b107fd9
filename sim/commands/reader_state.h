#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/cards/card.h"
#include "sim/cards/field.h"
#include "sim/cards/mifare/mifare_key_store.h"

namespace vqsim {

// What the reader holds between commands: the cards in its antenna field
// and the card in its PSAM slot.
struct ReaderState {
  bool psamPresent = true;
  Field field;
  // Cards taken out of the field to be put back later (ctl leave, enter),
  // with what was written to them.
  std::vector<std::shared_ptr<Card>> aside;
  std::shared_ptr<ApduCard> psam;  // the PSAM model, when one is in the slot
  mifare::KeyStore mifareKeys;          // keys loaded by the host for MIFARE Classic sectors
  std::array<uint8_t, 3> controlValues{};  // the three bytes of the last control command
  uint32_t hostLineBaud = 115200;          // the host line's speed, changed by its speed command
  // While the reader has no power (a scenario's power-off, ctl power-off):
  // when it comes back (sim/lane/power_and_psam.h).
  std::optional<std::chrono::steady_clock::time_point> powerBackAt;
};

}  // namespace vqsim
