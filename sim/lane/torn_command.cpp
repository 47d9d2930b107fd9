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

}  // namespace vqsim
