#include "shared/mifare_access.h"

namespace vqshared::mifare {
namespace {

// Which keys a right is given to.
enum Keys : uint8_t { kNever = 0, kA = 1, kB = 2, kAB = 3 };

// Per condition C1C2C3 = 000 ... 111: read, write, increment, decrement.
constexpr Keys kDataRights[8][4] = {
    {kAB, kAB, kAB, kAB},           // 000 transport
    {kAB, kNever, kNever, kAB},     // 001 value block, decrement only
    {kAB, kNever, kNever, kNever},  // 010 read only
    {kB, kB, kNever, kNever},       // 011
    {kAB, kB, kNever, kNever},      // 100
    {kB, kNever, kNever, kNever},   // 101
    {kAB, kB, kB, kAB},             // 110 value block, recharged with key B
    {kNever, kNever, kNever, kNever},
};

// Per condition: write key A, read and write access bits, read and write key B.
constexpr Keys kTrailerRights[8][5] = {
    {kA, kA, kNever, kA, kA},              // 000
    {kA, kA, kA, kA, kA},                  // 001 transport
    {kNever, kA, kNever, kA, kNever},      // 010
    {kB, kAB, kB, kNever, kB},             // 011
    {kB, kAB, kNever, kNever, kB},         // 100
    {kNever, kAB, kB, kNever, kNever},     // 101
    {kNever, kAB, kNever, kNever, kNever}, // 110
    {kNever, kAB, kNever, kNever, kNever}, // 111
};

bool Given(Keys keys, KeyType key) { return (keys & (key == KeyType::A ? kA : kB)) != 0; }

uint8_t Bit(uint8_t nibble, int block) { return static_cast<uint8_t>((nibble >> block) & 1); }

}  // namespace

std::optional<SectorConditions> DecodeAccessBits(std::span<const uint8_t, 3> bytes) {
  const uint8_t c1 = bytes[1] >> 4;
  const uint8_t c2 = bytes[2] & 0x0F;
  const uint8_t c3 = bytes[2] >> 4;
  const bool consistent = (bytes[0] & 0x0F) == (~c1 & 0x0F) && (bytes[0] >> 4) == (~c2 & 0x0F) &&
                          (bytes[1] & 0x0F) == (~c3 & 0x0F);
  if (!consistent) return std::nullopt;
  SectorConditions conditions{};
  for (int block = 0; block < 4; ++block) {
    conditions[block] =
        static_cast<Condition>(Bit(c1, block) << 2 | Bit(c2, block) << 1 | Bit(c3, block));
  }
  return conditions;
}

std::array<uint8_t, 3> EncodeAccessBits(const SectorConditions& conditions) {
  uint8_t c1 = 0, c2 = 0, c3 = 0;
  for (int block = 0; block < 4; ++block) {
    c1 |= static_cast<uint8_t>(((conditions[block] >> 2) & 1) << block);
    c2 |= static_cast<uint8_t>(((conditions[block] >> 1) & 1) << block);
    c3 |= static_cast<uint8_t>((conditions[block] & 1) << block);
  }
  return {static_cast<uint8_t>((~c2 & 0x0F) << 4 | (~c1 & 0x0F)),
          static_cast<uint8_t>(c1 << 4 | (~c3 & 0x0F)), static_cast<uint8_t>(c3 << 4 | c2)};
}

bool Allows(Condition dataCondition, DataRight right, KeyType key) {
  return Given(kDataRights[dataCondition & 7][static_cast<int>(right)], key);
}

bool Allows(Condition trailerCondition, TrailerRight right, KeyType key) {
  return Given(kTrailerRights[trailerCondition & 7][static_cast<int>(right)], key);
}

bool KeyBIsReadable(Condition trailerCondition) {
  return Allows(trailerCondition, TrailerRight::ReadKeyB, KeyType::A);
}

}  // namespace vqshared::mifare
