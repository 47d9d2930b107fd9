#pragma once
// What a power cut and a PSAM change do to the reader's state, whether a
// scenario's event or a control request brings them: both act on the one
// state, so that either can end what the other began.

#include <chrono>

#include "sim/commands/reader_state.h"

namespace vqsim {

enum class PsamTo { kPresent, kLocked, kRemoved };

// The reader has no power from `from` for `duration`; a cut that lasts
// longer already stands is kept.
void CutPower(ReaderState& state, std::chrono::steady_clock::time_point from, std::chrono::milliseconds duration);
// Whether the reader has power at `now`; when a cut has just ended, the
// reader comes back as PowerUp leaves it.
bool Powered(ReaderState& state, std::chrono::steady_clock::time_point now);

// present: the PSAM of the slot, unlocked; locked: it answers every command
// 93 03 (LockedPsam); removed: none in the slot.
void ChangePsam(ReaderState& state, PsamTo to);

// The reader after its power came back: no card selected and every card
// power-cycled, no keys loaded, the PSAM reset, the line at 115200 baud.
void PowerUp(ReaderState& state);

}  // namespace vqsim
