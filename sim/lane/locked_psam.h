#pragma once
// A PSAM whose application is locked: it still answers its reset, and
// refuses every command with "application locked for good" (93 03), so a
// lane cannot compute or check a purse MAC with it.

#include <memory>
#include <utility>

#include "sim/cards/card.h"

namespace vqsim {

class LockedPsam : public ApduCard {
 public:
  static constexpr uint8_t kLockedSw1 = 0x93;
  static constexpr uint8_t kLockedSw2 = 0x03;

  explicit LockedPsam(std::shared_ptr<ApduCard> psam) : psam_(std::move(psam)) {}

  std::vector<uint8_t> Exchange(std::span<const uint8_t>) override { return {kLockedSw1, kLockedSw2}; }
  std::vector<uint8_t> Reset() override { return psam_->Reset(); }
  // The PSAM the lock stands in for.
  const std::shared_ptr<ApduCard>& Unlocked() const { return psam_; }

 private:
  std::shared_ptr<ApduCard> psam_;
};

}  // namespace vqsim
