#pragma once
// A MIFARE ONE value block as WriteValueBlock writes it: the amount, the
// amount inverted, the amount again (each least significant byte first),
// then the address bytes AA 55 AA 55, whatever the block's number.

#include <array>
#include <cstdint>

namespace vqhw::mifare {

inline void PutLittleEndian(uint32_t value, uint8_t* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::array<uint8_t, 16> ValueBlockImage(uint32_t amount) {
  std::array<uint8_t, 16> image{};
  PutLittleEndian(amount, image.data());
  PutLittleEndian(~amount, image.data() + 4);
  PutLittleEndian(amount, image.data() + 8);
  image[12] = 0xAA;
  image[13] = 0x55;
  image[14] = 0xAA;
  image[15] = 0x55;
  return image;
}

}  // namespace vqhw::mifare
