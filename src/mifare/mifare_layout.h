#pragma once
// The shape of a MIFARE ONE card as the library addresses it: 16 sectors of
// 4 blocks of 16 bytes, the last block of each sector its trailer.

#include <cstdint>

namespace vqhw::mifare {

inline constexpr int32_t kSectors = 16;
inline constexpr int32_t kBlocks = 64;
inline constexpr int32_t kBlockSize = 16;
inline constexpr int32_t kKeySize = 6;
inline constexpr int32_t kSerialSize = 4;
inline constexpr int32_t kRecordSize = 5;  // serial, then SAK
inline constexpr uint8_t kMifareOneSak = 0x08;

// The reader's codes of the two keys of a sector; exports take 0 or 1.
inline constexpr int32_t kKeyTypeA = 0;
inline constexpr int32_t kKeyTypeB = 4;

constexpr bool IsSector(int32_t sector) { return sector >= 0 && sector < kSectors; }
constexpr bool IsBlock(int32_t block) { return block >= 0 && block < kBlocks; }
constexpr bool IsKeyType(int32_t code) { return code == kKeyTypeA || code == kKeyTypeB; }
constexpr int32_t TrailerBlock(int32_t sector) { return 4 * sector + 3; }
// The block that loadkey authenticates: the second of the sector.
constexpr int32_t AuthenticationBlock(int32_t sector) { return 4 * sector + 1; }

}  // namespace vqhw::mifare
