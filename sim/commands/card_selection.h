#pragma once
// Which card in the field takes part in a command: the first one that is
// not halted answers a request; anticollision picks the one an activation
// selects; the MIFARE commands go to the card that the last activation
// selected.

#include <memory>

#include "sim/commands/command_table.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/commands/reader_state.h"

namespace vqsim {

bool IsHalted(const Card& card);

// The first card in the field, in the order the cards came, that is not halted.
std::shared_ptr<Card> FirstReadyCard(const Field& field);

// The card that anticollision finds among those not halted, with status
// kSuccess; else null with kNoCard (none ready) or kSeveralCards (cards of
// one serial number, whose answers collide at every bit).
struct FoundCard {
  std::shared_ptr<Card> card;
  uint8_t status;
};
FoundCard FindByAnticollision(const Field& field);

// Selects the card: a MIFARE Classic forgets its authentication.
void SelectCard(Field& field, std::shared_ptr<Card> card);

// The selected card as a MIFARE Classic, with status kSuccess; else null
// with kNoCard (nothing selected) or kWrongCardKind (another kind).
struct SelectedMifare {
  MifareClassic* card;
  uint8_t status;
};
SelectedMifare FindSelectedMifare(const ReaderState& state);

// Runs `operation` (Reply from MifareClassic&) on the selected MIFARE
// Classic card, or answers why there is none.
template <typename Operation>
Reply OnSelectedMifare(const ReaderState& state, Operation operation) {
  const SelectedMifare selected = FindSelectedMifare(state);
  if (selected.card == nullptr) return {selected.status, {}};
  return operation(*selected.card);
}

}  // namespace vqsim
