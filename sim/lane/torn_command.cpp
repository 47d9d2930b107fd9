#include "sim/lane/torn_command.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "sim/commands/card_selection.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

using Blocks = std::array<MifareClassic::Block, MifareClassic::kBlocks>;

// Block write, decrement, increment, restore; card file write.
constexpr uint8_t kCardWrites[] = {0x52, 0x53, 0x54, 0x55, 0x82};
constexpr CommandFilter kPurseDebit{0x60, 0x54};

constexpr std::pair<Tear::Outcome, const char*> kOutcomeNames[] = {
    {Tear::Outcome::kDone, "done"}, {Tear::Outcome::kNotDone, "not-done"}, {Tear::Outcome::kCorrupt, "corrupt"}};
constexpr std::pair<TearTarget, const char*> kTargetNames[] = {
    {TearTarget::kWrite, "write"}, {TearTarget::kDebit, "debit"}, {TearTarget::kWriteOrDebit, "write or debit"}};

template <typename T, size_t N>
std::optional<T> Named(const std::pair<T, const char*> (&names)[N], std::string_view word) {
  for (const auto& [value, name] : names) {
    if (word == name) return value;
  }
  return std::nullopt;
}

template <typename T, size_t N>
const char* NameOf(const std::pair<T, const char*> (&names)[N], T value) {
  for (const auto& [named, name] : names) {
    if (named == value) return name;
  }
  return "";
}

// The EEPROM is programmed in halves; the tear comes between them.
constexpr size_t kBytesProgrammed = 8;

Blocks Snapshot(const MifareClassic& card) {
  Blocks blocks{};
  for (int i = 0; i < MifareClassic::kBlocks; ++i) blocks[static_cast<size_t>(i)] = card.RawBlock(i);
  return blocks;
}

// Every block the command changed keeps its old second half.
void LeaveHalfWritten(MifareClassic& card, const Blocks& before) {
  for (int i = 0; i < MifareClassic::kBlocks; ++i) {
    const MifareClassic::Block& old = before[static_cast<size_t>(i)];
    MifareClassic::Block block = card.RawBlock(i);
    if (block == old) continue;
    std::copy(old.begin() + kBytesProgrammed, old.end(), block.begin() + kBytesProgrammed);
    card.PokeBlock(i, block);
  }
}

}  // namespace

Reply RunTorn(ReaderState& state, uint8_t command, std::span<const uint8_t> data, const Tear& tear) {
  const std::shared_ptr<Card> card = state.field.Selected();
  if (!card) return Dispatch(state, command, data);

  MifareClassic* mifare = AsMifareClassic(card.get());
  const bool halfWritten = tear.outcome == Tear::Outcome::kCorrupt && mifare != nullptr;
  const std::optional<Blocks> before = halfWritten ? std::optional(Snapshot(*mifare)) : std::nullopt;
  if (tear.outcome == Tear::Outcome::kDone || halfWritten) Dispatch(state, command, data);
  if (before) LeaveHalfWritten(*mifare, *before);
  state.field.Remove(card.get());
  return {status::kCardTimeout, {}};
}

bool TearTargets(TearTarget target, const ReceivedFrame& frame) {
  const bool write = std::ranges::find(kCardWrites, frame.command()) != std::end(kCardWrites);
  const bool debit = kPurseDebit.Matches(frame);
  switch (target) {
    case TearTarget::kWrite: return write;
    case TearTarget::kDebit: return debit;
    case TearTarget::kWriteOrDebit: return write || debit;
  }
  return false;
}

std::optional<Tear::Outcome> TearOutcomeNamed(std::string_view word) { return Named(kOutcomeNames, word); }
const char* TearOutcomeName(Tear::Outcome outcome) { return NameOf(kOutcomeNames, outcome); }
// "write or debit" is what none of the two words asks for.
std::optional<TearTarget> TearTargetNamed(std::string_view word) {
  return word == NameOf(kTargetNames, TearTarget::kWriteOrDebit) ? std::nullopt : Named(kTargetNames, word);
}
const char* TearTargetName(TearTarget target) { return NameOf(kTargetNames, target); }

}  // namespace vqsim
