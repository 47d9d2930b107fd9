#pragma once
// The reader's antenna field: the cards in it, in the order they came, and
// the one the last activation selected. Not thread-safe by itself: the
// VirtualReader guards it with its own lock.

#include <memory>
#include <vector>

#include "sim/cards/card.h"

namespace vqsim {

class Field {
 public:
  void Insert(std::shared_ptr<Card> card);
  // The card leaves, losing power; it is deselected if it was selected.
  void Remove(const Card* card);
  void Clear();  // every card leaves
  const std::vector<std::shared_ptr<Card>>& Cards() const { return cards_; }

  // The card of the last successful activation, or null.
  std::shared_ptr<Card> Selected() const { return selected_; }
  void Select(std::shared_ptr<Card> card) { selected_ = std::move(card); }
  // Field switched off and on: nothing is selected, every card power-cycles.
  void Reset();

 private:
  std::vector<std::shared_ptr<Card>> cards_;
  std::shared_ptr<Card> selected_;
};

}  // namespace vqsim
