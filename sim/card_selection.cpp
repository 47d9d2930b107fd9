#include "sim/card_selection.h"

#include <algorithm>

#include "sim/status_bytes.h"

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
