#include "sim/cards/field.h"

#include <algorithm>

namespace vqsim {

void Field::Insert(std::shared_ptr<Card> card) { cards_.push_back(std::move(card)); }

// A card that leaves loses the field's power: back in, it starts afresh.
void Field::Remove(const Card* card) {
  for (const auto& c : cards_) {
    if (c.get() == card) c->PowerCycle();
  }
  std::erase_if(cards_, [&](const std::shared_ptr<Card>& c) { return c.get() == card; });
  if (selected_.get() == card) selected_.reset();
}

void Field::Clear() {
  for (const auto& card : cards_) card->PowerCycle();
  cards_.clear();
  selected_.reset();
}

void Field::Reset() {
  selected_.reset();
  for (const auto& card : cards_) card->PowerCycle();
}

}  // namespace vqsim
