#include "sim/commands/card_selection.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "sim/protocol/status_bytes.h"

namespace vqsim {

bool IsHalted(const Card& card) {
  const auto* mifare = dynamic_cast<const MifareClassic*>(&card);
  return mifare != nullptr && mifare->IsHalted();
}

std::shared_ptr<Card> FirstReadyCard(const Field& field) {
  const auto& cards = field.Cards();
  auto it = std::ranges::find_if(cards, [](const auto& card) { return !IsHalted(*card); });
  return it == cards.end() ? nullptr : *it;
}

// The serial numbers go over the air byte 0 first, low bit first; at the
// first bit where the cards still taking part differ, the reader goes on
// with those that sent a 1, as a reader's anticollision loop does.
FoundCard FindByAnticollision(const Field& field) {
  std::vector<std::shared_ptr<Card>> candidates;
  std::ranges::copy_if(field.Cards(), std::back_inserter(candidates),
                       [](const auto& card) { return !IsHalted(*card); });
  if (candidates.empty()) return {nullptr, status::kNoCard};
  for (int bit = 0; bit < 32 && candidates.size() > 1; ++bit) {
    const auto sentOne = [bit](const std::shared_ptr<Card>& card) {
      return (card->Serial()[bit / 8] >> (bit % 8) & 1) != 0;
    };
    if (std::ranges::any_of(candidates, sentOne) && !std::ranges::all_of(candidates, sentOne)) {
      std::erase_if(candidates, [&](const auto& card) { return !sentOne(card); });
    }
  }
  if (candidates.size() > 1) return {nullptr, status::kSeveralCards};
  return {candidates.front(), status::kSuccess};
}

void SelectCard(Field& field, std::shared_ptr<Card> card) {
  if (MifareClassic* mifare = AsMifareClassic(card.get())) mifare->Selected();
  field.Select(std::move(card));
}

SelectedMifare FindSelectedMifare(const ReaderState& state) {
  const std::shared_ptr<Card> selected = state.field.Selected();
  if (!selected) return {nullptr, status::kNoCard};
  MifareClassic* mifare = AsMifareClassic(selected.get());
  return {mifare, mifare != nullptr ? status::kSuccess : status::kWrongCardKind};
}

}  // namespace vqsim
