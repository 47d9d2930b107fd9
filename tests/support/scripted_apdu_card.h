#pragma once
// A card that answers every APDU with the same bytes, set by the test, and
// keeps the APDUs it received: for replies no real card gives on demand
// (one byte, none, more than a text can hold). Use it in the field (select
// it) or in the PSAM slot.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "sim/cards/card.h"

namespace vqtest {

class ScriptedApduCard : public vqsim::Card, public vqsim::ApduCard {
 public:
  explicit ScriptedApduCard(std::vector<uint8_t> answer) : answer_(std::move(answer)) {}

  std::array<uint8_t, 4> Serial() const override { return {0x01, 0x02, 0x03, 0x04}; }
  std::array<uint8_t, 2> AnswerToRequest() const override { return {0x08, 0x00}; }
  uint8_t Sak() const override { return 0x20; }

  std::vector<uint8_t> Exchange(std::span<const uint8_t> command) override {
    received.emplace_back(command.begin(), command.end());
    return answer_;
  }
  std::vector<uint8_t> Reset() override { return {}; }

  std::vector<std::vector<uint8_t>> received;  // read it under the reader's lock (WithState)

 private:
  std::vector<uint8_t> answer_;
};

}  // namespace vqtest
