#pragma once
// The standard value block layout: a signed 32-bit value, its inverse and
// the value again (least significant byte first), then an address byte,
// its inverse, the address and its inverse.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace vqsim::mifare {

struct ValueBlock {
  int32_t value = 0;
  uint8_t address = 0;
};

inline uint32_t ReadLittleEndian(std::span<const uint8_t> bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// None when the block does not hold the layout.
inline std::optional<ValueBlock> ParseValueBlock(std::span<const uint8_t, 16> block) {
  const uint32_t value = ReadLittleEndian(block.subspan(0, 4));
  const bool layout = ReadLittleEndian(block.subspan(4, 4)) == ~value &&
                      ReadLittleEndian(block.subspan(8, 4)) == value &&
                      block[13] == static_cast<uint8_t>(~block[12]) && block[14] == block[12] &&
                      block[15] == block[13];
  if (!layout) return std::nullopt;
  return ValueBlock{static_cast<int32_t>(value), block[12]};
}

inline std::array<uint8_t, 16> MakeValueBlock(ValueBlock v) {
  std::array<uint8_t, 16> block{};
  const uint32_t value = static_cast<uint32_t>(v.value);
  for (int i = 0; i < 4; ++i) {
    block[i] = block[8 + i] = static_cast<uint8_t>(value >> (8 * i));
    block[4 + i] = static_cast<uint8_t>(~value >> (8 * i));
  }
  block[12] = block[14] = v.address;
  block[13] = block[15] = static_cast<uint8_t>(~v.address);
  return block;
}

}  // namespace vqsim::mifare
