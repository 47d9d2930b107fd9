#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sim/commands/command_table.h"
#include "sim/commands/reader_state.h"
#include "sim/lane/scenario.h"
#include "sim/protocol/frame_parser.h"

namespace vqsim {

// Runs a command whose card leaves the field in the middle of it: the card
// does all of it, none of it, or (a MIFARE ONE card) leaves the blocks it
// wrote half written, as the tear says; then it is out of the field. The
// reader answers "card timed out". With no card selected there is nothing
// to tear and the command runs as usual.
Reply RunTorn(ReaderState& state, uint8_t command, std::span<const uint8_t> data, const Tear& tear);

// What a tear armed while the reader runs waits for: the next command that
// writes to a card (a MIFARE ONE block write or value operation, a card
// file write), the next purse debit (DEBIT on the user card), or either.
enum class TearTarget { kWriteOrDebit, kWrite, kDebit };
bool TearTargets(TearTarget target, const ReceivedFrame& frame);

// The words of scenario files and control requests: "done", "not-done",
// "corrupt"; "write", "debit" (and "write or debit", said, not parsed).
std::optional<Tear::Outcome> TearOutcomeNamed(std::string_view word);
const char* TearOutcomeName(Tear::Outcome outcome);
std::optional<TearTarget> TearTargetNamed(std::string_view word);
const char* TearTargetName(TearTarget target);

}  // namespace vqsim
