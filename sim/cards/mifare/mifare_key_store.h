#pragma once
// The keys the reader holds for MIFARE Classic cards: one key A and one
// key B slot per sector, filled by the host's key loads. Empty at power-on.

#include <array>
#include <cstdint>
#include <optional>

#include "shared/mifare_access.h"

namespace vqsim::mifare {

using vqshared::mifare::KeyType;
using Key = std::array<uint8_t, 6>;

class KeyStore {
 public:
  void Load(KeyType type, int sector, const Key& key) { slots_[Index(type)][sector] = key; }
  std::optional<Key> Find(KeyType type, int sector) const { return slots_[Index(type)][sector]; }

 private:
  static int Index(KeyType type) { return type == KeyType::A ? 0 : 1; }
  std::array<std::array<std::optional<Key>, 16>, 2> slots_{};
};

}  // namespace vqsim::mifare
