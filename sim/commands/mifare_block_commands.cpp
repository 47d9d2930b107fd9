// Key type codes: 0 names key A, 4 key B. The reader authenticates with the
// key the host loaded for that slot (0x56), never with a key sent along.
// Value commands (each keeps the result in the destination block, which
// must lie in the authenticated sector with the source):
//   0x53 source, destination, amount: decrement
//   0x54 source, destination, amount: increment
//   0x55 source, destination: copy the value unchanged (restore, transfer)
// A result outside 0..2^31-1 is refused with the invalid-amount status.

#include "sim/commands/mifare_block_commands.h"

#include <algorithm>
#include <optional>

#include "sim/commands/card_selection.h"
#include "sim/cards/mifare/mifare_value_block.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

using mifare::KeyType;

constexpr size_t kBlockSize = 16;

std::optional<KeyType> KeyTypeOf(uint8_t code) {
  if (code == 0) return KeyType::A;
  if (code == 4) return KeyType::B;
  return std::nullopt;
}

bool IsSector(uint8_t sector) { return sector < MifareClassic::kSectors; }
bool IsBlock(uint8_t block) { return block < MifareClassic::kBlocks; }

Reply LoadKey(ReaderState& state, std::span<const uint8_t> data) {
  const auto type = KeyTypeOf(data[0]);
  if (!type || !IsSector(data[1])) return {status::kBadArguments, {}};
  mifare::Key key;
  std::ranges::copy(data.subspan(2), key.begin());
  state.mifareKeys.Load(*type, data[1], key);
  return {status::kSuccess, {}};
}

// Serial number (4), key type code, sector, a block of that sector.
Reply Authenticate(ReaderState& state, std::span<const uint8_t> data) {
  const auto type = KeyTypeOf(data[4]);
  const uint8_t sector = data[5];
  if (!type || !IsSector(sector) || data[6] / 4 != sector) return {status::kBadArguments, {}};
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    if (!std::ranges::equal(card.Serial(), data.first(4))) return {status::kInvalidSerial, {}};
    const auto key = state.mifareKeys.Find(*type, sector);
    if (!key) return {status::kNoKeyLoaded, {}};
    return {card.Authenticate(*type, sector, *key), {}};
  });
}

Reply ReadBlock(ReaderState& state, std::span<const uint8_t> data) {
  if (!IsBlock(data[0])) return {status::kBadArguments, {}};
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    MifareClassic::Block block{};
    const uint8_t result = card.Read(data[0], block);
    if (result != status::kSuccess) return {result, {}};
    return {status::kSuccess, {block.begin(), block.end()}};
  });
}

Reply WriteBlock(ReaderState& state, std::span<const uint8_t> data) {
  if (!IsBlock(data[0])) return {status::kBadArguments, {}};
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    MifareClassic::Block block;
    std::ranges::copy(data.subspan(1, kBlockSize), block.begin());
    return {card.Write(data[0], block), {}};
  });
}

template <MifareClassic::ValueOperation kOperation>
Reply Operate(ReaderState& state, std::span<const uint8_t> data) {
  if (!IsBlock(data[0]) || !IsBlock(data[1])) return {status::kBadArguments, {}};
  const uint32_t amount = data.size() > 2 ? mifare::ReadLittleEndian(data.subspan(2, 4)) : 0;
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    return {card.Operate(kOperation, data[0], data[1], amount), {}};
  });
}

using Op = MifareClassic::ValueOperation;
constexpr CommandEntry kEntries[] = {
    {0x50, 7, Authenticate},           // serial, key type code, sector, block
    {0x51, 1, ReadBlock},              // block; answers 16 bytes
    {0x52, 1 + kBlockSize, WriteBlock},
    {0x53, 6, Operate<Op::Decrement>},  // source, destination, amount LSB first
    {0x54, 6, Operate<Op::Increment>},
    {0x55, 2, Operate<Op::Restore>},    // source, destination
    {0x56, 8, LoadKey},                // key type code, sector, key
};

}  // namespace

std::span<const CommandEntry> MifareBlockCommands() { return kEntries; }

}  // namespace vqsim
