#include "sim/lane/power_and_psam.h"

#include <algorithm>

#include "sim/lane/locked_psam.h"

namespace vqsim {

void CutPower(ReaderState& state, std::chrono::steady_clock::time_point from, std::chrono::milliseconds duration) {
  const auto back = from + duration;
  state.powerBackAt = state.powerBackAt ? std::max(*state.powerBackAt, back) : back;
}

bool Powered(ReaderState& state, std::chrono::steady_clock::time_point now) {
  if (!state.powerBackAt) return true;
  if (*state.powerBackAt > now) return false;
  state.powerBackAt.reset();
  PowerUp(state);
  return true;
}

void ChangePsam(ReaderState& state, PsamTo to) {
  if (const auto* locked = dynamic_cast<const LockedPsam*>(state.psam.get())) state.psam = locked->Unlocked();
  state.psamPresent = to != PsamTo::kRemoved;
  if (to == PsamTo::kLocked && state.psam) state.psam = std::make_shared<LockedPsam>(state.psam);
}

void PowerUp(ReaderState& state) {
  state.field.Reset();
  state.mifareKeys = {};
  if (state.psam) state.psam->Reset();
  state.controlValues = {};
  state.hostLineBaud = ReaderState{}.hostLineBaud;
}

}  // namespace vqsim
