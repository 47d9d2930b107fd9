// How the reader maps files onto the card:
//   file number n (0..15)   the three data blocks of sector n, 48 bytes,
//                           offset 0 being the first byte of block 4n;
//   key selector k (0..15)  the key A that the host loaded for sector k.
// 0x81 authenticates the file's sector with that key and reads; 0x83
// authenticates it for the write that follows; 0x82 writes into a sector
// that is authenticated (so a 0x82 without its 0x83 is refused). The
// access bits of the sector apply as to single blocks; file 0 includes the
// read-only manufacturer block.

#include "sim/commands/card_file_commands.h"

#include <algorithm>

#include "sim/commands/card_selection.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

constexpr size_t kHeader = 4;  // file number, key selector, offset, length
constexpr int kFileSize = 48;
constexpr int kBlockSize = 16;

struct FileRange {
  int firstBlock;
  int offset;
  int length;
};

bool IsFileRange(uint8_t file, uint8_t keySelector, int offset, int length) {
  return file < MifareClassic::kSectors && keySelector < MifareClassic::kSectors &&
         offset + length <= kFileSize;
}

// Authenticates the file's sector with the key the selector names.
uint8_t AuthenticateFile(const ReaderState& state, MifareClassic& card, uint8_t file,
                         uint8_t keySelector) {
  const auto key = state.mifareKeys.Find(mifare::KeyType::A, keySelector);
  if (!key) return status::kNoKeyLoaded;
  return card.Authenticate(mifare::KeyType::A, file, *key);
}

// Calls visit(block, first byte in the block, bytes in the block, position
// in the range) for each block the range touches; stops at a failure.
template <typename Visit>
uint8_t ForEachBlock(const FileRange& range, Visit visit) {
  for (int at = range.offset; at < range.offset + range.length;) {
    const int block = range.firstBlock + at / kBlockSize;
    const int from = at % kBlockSize;
    const int count = std::min(kBlockSize - from, range.offset + range.length - at);
    const uint8_t result = visit(block, from, count, at - range.offset);
    if (result != status::kSuccess) return result;
    at += count;
  }
  return status::kSuccess;
}

Reply ReadFile(ReaderState& state, std::span<const uint8_t> data) {
  const FileRange range{4 * data[0], data[2], data[3]};
  if (!IsFileRange(data[0], data[1], range.offset, range.length)) return {status::kBadArguments, {}};
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    uint8_t result = AuthenticateFile(state, card, data[0], data[1]);
    if (result != status::kSuccess) return {result, {}};
    std::vector<uint8_t> bytes(static_cast<size_t>(range.length));
    result = ForEachBlock(range, [&](int block, int from, int count, int position) {
      MifareClassic::Block content{};
      const uint8_t read = card.Read(block, content);
      std::copy_n(content.begin() + from, count, bytes.begin() + position);
      return read;
    });
    if (result != status::kSuccess) return {result, {}};
    return {status::kSuccess, std::move(bytes)};
  });
}

Reply PrepareWrite(ReaderState& state, std::span<const uint8_t> data) {
  if (!IsFileRange(data[0], data[1], 0, 0)) return {status::kBadArguments, {}};
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    return {AuthenticateFile(state, card, data[0], data[1]), {}};
  });
}

Reply WriteFile(ReaderState& state, std::span<const uint8_t> data) {
  if (data.size() < kHeader) return {status::kBadArguments, {}};
  const FileRange range{4 * data[0], data[2], data[3]};
  if (data.size() != kHeader + static_cast<size_t>(range.length) ||
      !IsFileRange(data[0], data[1], range.offset, range.length)) {
    return {status::kBadArguments, {}};
  }
  const std::span<const uint8_t> bytes = data.subspan(kHeader);
  return OnSelectedMifare(state, [&](MifareClassic& card) -> Reply {
    if (card.AuthenticatedSector() != data[0]) return {status::kNotAuthenticated, {}};
    return {ForEachBlock(range,
                         [&](int block, int from, int count, int position) {
                           MifareClassic::Block content{};
                           const uint8_t read = card.Read(block, content);
                           if (read != status::kSuccess) return read;
                           std::copy_n(bytes.begin() + position, count, content.begin() + from);
                           return card.Write(block, content);
                         }),
            {}};
  });
}

constexpr CommandEntry kEntries[] = {
    {0x81, kHeader, ReadFile},     // file, key selector, offset, length; answers the bytes
    {0x82, std::nullopt, WriteFile},  // the same header, then length bytes
    {0x83, 2, PrepareWrite},       // file, key selector
};

}  // namespace

std::span<const CommandEntry> CardFileCommands() { return kEntries; }

}  // namespace vqsim
