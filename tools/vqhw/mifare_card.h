#pragma once
// The MIFARE ONE card in the field, through the library's exports:
// activated once, each sector authenticated on its first use with the
// first of the given keys that the card accepts. After a refused key the
// card is activated again, as a real card stops answering until then.

#include <CLI/CLI.hpp>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "vqhw/reader_calls.h"

namespace vqtool {

using Key = std::array<uint8_t, 6>;
using BlockData = std::array<uint8_t, 16>;

inline constexpr int kSectors = 16;
inline constexpr int kBlocks = 64;
constexpr int SectorOf(int block) { return block / 4; }
constexpr int TrailerOf(int sector) { return 4 * sector + 3; }
constexpr bool IsTrailer(int block) { return block % 4 == 3; }

// The key options of the card commands: --key (repeatable) and --key-b.
struct KeyOptions {
  std::vector<std::string> keys;  // hex; none: the factory key FF FF FF FF FF FF
  bool keyB = false;

  void AddTo(CLI::App& command, bool withKeyB = true);
  // The parsed keys, or the message that refuses them.
  std::optional<std::vector<Key>> Parse(std::string& problem) const;
};

class MifareCard {
 public:
  MifareCard(std::vector<Key> keys, bool keyB);

  CallResult Activate();  // opencard
  const std::array<uint8_t, 5>& Record() const { return record_; }  // serial, SAK
  CallResult Read(int block, BlockData& data);
  CallResult Write(int block, const BlockData& data);
  // Authenticates the sector unless it is already; the key that worked is KeyUsed().
  CallResult Authenticate(int sector);
  const Key& KeyUsed() const { return keys_[keyUsed_]; }
  char KeyTypeLetter() const { return keyB_ ? 'B' : 'A'; }

 private:
  CallResult AfterBlockCall(CallResult result);

  std::vector<Key> keys_;
  bool keyB_;
  std::array<uint8_t, 5> record_{};
  std::optional<int> authenticated_;
  size_t keyUsed_ = 0;
};

}  // namespace vqtool
