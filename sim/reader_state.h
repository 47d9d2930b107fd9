#pragma once

#include <memory>

#include "sim/card.h"
#include "sim/field.h"

namespace vqsim {

// What the reader holds between commands: the cards in its antenna field
// and the card in its PSAM slot.
struct ReaderState {
  bool psamPresent = true;
  Field field;
  std::shared_ptr<ApduCard> psam;  // the PSAM model, when one is in the slot
};

}  // namespace vqsim
