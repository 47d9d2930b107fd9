#pragma once
// A MIFARE Classic 1K card (MIFARE ONE): 16 sectors of 4 blocks of 16
// bytes, block 0 the read-only manufacturer block, the last block of each
// sector its trailer (key A, access bits, key B). Built in factory state:
// keys FF FF FF FF FF FF, access bits FF 07 80 69, data blocks zero.
//
// The card operations answer the status byte the reader sends for them.
// The card keeps one authentication at a time; selecting the card, a field
// reset and a failed authentication forget it. Not thread-safe: the reader
// calls it under its lock, so tests look at a card in the field through
// VirtualReader::WithState.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "sim/cards/card.h"
#include "shared/mifare_access.h"
#include "sim/cards/mifare/mifare_key_store.h"

namespace vqsim {

class MifareClassic : public Card {
 public:
  static constexpr int kSectors = 16;
  static constexpr int kBlocks = 64;
  using Block = std::array<uint8_t, 16>;

  explicit MifareClassic(std::array<uint8_t, 4> serial);

  std::array<uint8_t, 4> Serial() const override { return serial_; }
  std::array<uint8_t, 2> AnswerToRequest() const override { return {0x04, 0x00}; }
  uint8_t Sak() const override { return 0x08; }
  void PowerCycle() override;

  // Halted cards answer only a wake-up request.
  void Halt();
  void WakeUp() { halted_ = false; }
  bool IsHalted() const { return halted_; }
  void Selected() { authentication_.reset(); }

  uint8_t Authenticate(mifare::KeyType type, int sector, const mifare::Key& key);
  // Key A reads as zeros, and so does every part of a trailer the key may not read.
  uint8_t Read(int block, Block& out) const;
  // A trailer is written part by part, as far as the access bits allow.
  uint8_t Write(int block, const Block& data);

  enum class ValueOperation { Decrement, Increment, Restore };
  // Takes the source value block, applies the operation and transfers the
  // result to the destination block of the same sector.
  uint8_t Operate(ValueOperation operation, int source, int destination, uint32_t amount);

  // For tests and tools: the stored bytes, bypassing keys and access bits.
  const Block& RawBlock(int block) const { return blocks_[block]; }
  void PokeBlock(int block, const Block& data) { blocks_[block] = data; }
  std::optional<int> AuthenticatedSector() const;

 private:
  struct Authentication {
    int sector;
    mifare::KeyType key;
  };

  // 0 when the block may be used with the current authentication for
  // `allowed`, else the status byte; `allowed` gets the sector's conditions.
  template <typename Check>
  uint8_t CheckAccess(int block, Check allowed) const;

  std::array<uint8_t, 4> serial_;
  std::array<Block, kBlocks> blocks_{};
  std::optional<Authentication> authentication_;
  bool halted_ = false;
};

// The card as a MIFARE Classic, or null for another kind.
inline MifareClassic* AsMifareClassic(Card* card) { return dynamic_cast<MifareClassic*>(card); }

}  // namespace vqsim
