#pragma once
// The cards the virtual reader deals with: contactless cards in its antenna
// field, and cards that carry APDUs (the CPU card in the field, the PSAM in
// the reader's slot).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vqsim {

// A contactless card of ISO/IEC 14443 type A in the field.
class Card {
 public:
  virtual ~Card() = default;
  virtual std::array<uint8_t, 4> Serial() const = 0;
  virtual std::array<uint8_t, 2> AnswerToRequest() const = 0;  // 04 00 for a MIFARE ONE card
  virtual uint8_t Sak() const = 0;                              // 08 MIFARE ONE, 20 CPU card
  // The card lost power (field reset) or was halted: it forgets every
  // authentication and selection.
  virtual void PowerCycle() {}
};

// A card that answers command APDUs with response APDUs (data, SW1 SW2).
class ApduCard {
 public:
  virtual ~ApduCard() = default;
  virtual std::vector<uint8_t> Exchange(std::span<const uint8_t> command) = 0;
  // Cold reset: the card answers from its initial state (MF selected,
  // security states cleared); returns the answer to reset.
  virtual std::vector<uint8_t> Reset() = 0;
};

}  // namespace vqsim
