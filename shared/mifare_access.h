#pragma once
// The access conditions of a MIFARE Classic sector: three bits C1 C2 C3 per
// block, kept in trailer bytes 6 to 8 together with their inverses, and
// what each condition lets key A and key B do.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace vqshared::mifare {

enum class KeyType { A, B };

// C1 C2 C3 of one block as the number C1 * 4 + C2 * 2 + C3.
using Condition = uint8_t;
// The conditions of blocks 0 to 3 of a sector; block 3 is the trailer.
using SectorConditions = std::array<Condition, 4>;

// From trailer bytes 6, 7, 8; none when a bit and its inverse disagree.
std::optional<SectorConditions> DecodeAccessBits(std::span<const uint8_t, 3> bytes);
std::array<uint8_t, 3> EncodeAccessBits(const SectorConditions& conditions);

enum class DataRight { Read, Write, Increment, DecrementTransferRestore };
enum class TrailerRight { WriteKeyA, ReadAccessBits, WriteAccessBits, ReadKeyB, WriteKeyB };

bool Allows(Condition dataCondition, DataRight right, KeyType key);
bool Allows(Condition trailerCondition, TrailerRight right, KeyType key);

// Where key B can be read it is data: a card authenticated with it refuses
// every access.
bool KeyBIsReadable(Condition trailerCondition);

}  // namespace vqshared::mifare
