#include "sim/cards/mifare/mifare_classic.h"

#include <algorithm>
#include <limits>

#include "sim/cards/mifare/mifare_value_block.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {

namespace access = vqshared::mifare;
using access::DataRight;
using mifare::KeyType;
using access::TrailerRight;

namespace {

constexpr int kTrailerOffset = 3;
constexpr size_t kKeyALength = 6;
constexpr size_t kAccessBitsAt = 6;  // and the byte after them, kept with them
constexpr size_t kKeyBAt = 10;
constexpr mifare::Key kFactoryKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::array<uint8_t, 4> kFactoryAccessBits{0xFF, 0x07, 0x80, 0x69};

int SectorOf(int block) { return block / 4; }
bool IsTrailer(int block) { return block % 4 == kTrailerOffset; }
// Value operations work on data blocks only.
bool HoldsNoValue(int block) { return block == 0 || IsTrailer(block); }

std::span<const uint8_t, 3> AccessBytes(const MifareClassic::Block& trailer) {
  return std::span<const uint8_t, 3>(trailer.data() + kAccessBitsAt, 3);
}

}  // namespace

MifareClassic::MifareClassic(std::array<uint8_t, 4> serial) : serial_(serial) {
  // Manufacturer block: serial, its check byte, SAK, answer to request.
  Block& block0 = blocks_[0];
  std::ranges::copy(serial_, block0.begin());
  block0[4] = static_cast<uint8_t>(serial_[0] ^ serial_[1] ^ serial_[2] ^ serial_[3]);
  block0[5] = Sak();
  block0[6] = AnswerToRequest()[0];
  block0[7] = AnswerToRequest()[1];
  for (int sector = 0; sector < kSectors; ++sector) {
    Block& trailer = blocks_[4 * sector + kTrailerOffset];
    std::ranges::copy(kFactoryKey, trailer.begin());
    std::ranges::copy(kFactoryAccessBits, trailer.begin() + kAccessBitsAt);
    std::ranges::copy(kFactoryKey, trailer.begin() + kKeyBAt);
  }
}

void MifareClassic::PowerCycle() {
  authentication_.reset();
  halted_ = false;
}

void MifareClassic::Halt() {
  authentication_.reset();
  halted_ = true;
}

std::optional<int> MifareClassic::AuthenticatedSector() const {
  if (!authentication_) return std::nullopt;
  return authentication_->sector;
}

uint8_t MifareClassic::Authenticate(KeyType type, int sector, const mifare::Key& key) {
  authentication_.reset();
  const Block& trailer = blocks_[4 * sector + kTrailerOffset];
  const size_t at = type == KeyType::A ? 0 : kKeyBAt;
  if (!std::equal(key.begin(), key.end(), trailer.begin() + static_cast<std::ptrdiff_t>(at))) {
    return status::kAuthenticationFailed;
  }
  authentication_ = Authentication{sector, type};
  return status::kSuccess;
}

template <typename Check>
uint8_t MifareClassic::CheckAccess(int block, Check allowed) const {
  if (!authentication_ || authentication_->sector != SectorOf(block)) {
    return status::kNotAuthenticated;
  }
  const auto conditions = access::DecodeAccessBits(AccessBytes(blocks_[4 * SectorOf(block) + kTrailerOffset]));
  if (!conditions) return status::kCannotExecute;  // a sector with broken access bits is locked
  const bool keyBAsData =
      authentication_->key == KeyType::B && access::KeyBIsReadable((*conditions)[kTrailerOffset]);
  if (keyBAsData || !allowed(*conditions, authentication_->key)) return status::kCannotExecute;
  return status::kSuccess;
}

uint8_t MifareClassic::Read(int block, Block& out) const {
  const bool trailer = IsTrailer(block);
  const uint8_t access = CheckAccess(block, [&](const access::SectorConditions& c, KeyType key) {
    return trailer || access::Allows(c[block % 4], DataRight::Read, key);
  });
  if (access != status::kSuccess) return access;
  out = blocks_[block];
  if (!trailer) return status::kSuccess;
  const access::Condition condition =
      (*access::DecodeAccessBits(AccessBytes(blocks_[block])))[kTrailerOffset];  // checked above
  const KeyType key = authentication_->key;
  std::fill_n(out.begin(), kKeyALength, 0);
  if (!access::Allows(condition, TrailerRight::ReadAccessBits, key)) {
    std::fill(out.begin() + kAccessBitsAt, out.begin() + kKeyBAt, 0);
  }
  if (!access::Allows(condition, TrailerRight::ReadKeyB, key)) {
    std::fill(out.begin() + kKeyBAt, out.end(), 0);
  }
  return status::kSuccess;
}

uint8_t MifareClassic::Write(int block, const Block& data) {
  if (block == 0) return status::kCannotExecute;  // the manufacturer block is read-only
  if (!IsTrailer(block)) {
    const uint8_t access = CheckAccess(block, [&](const access::SectorConditions& c, KeyType key) {
      return access::Allows(c[block % 4], DataRight::Write, key);
    });
    if (access == status::kSuccess) blocks_[block] = data;
    return access;
  }
  const uint8_t access = CheckAccess(block, [](const access::SectorConditions&, KeyType) { return true; });
  if (access != status::kSuccess) return access;
  const access::Condition condition =
      (*access::DecodeAccessBits(AccessBytes(blocks_[block])))[kTrailerOffset];  // checked above
  const KeyType key = authentication_->key;
  const bool keyA = access::Allows(condition, TrailerRight::WriteKeyA, key);
  const bool accessBits = access::Allows(condition, TrailerRight::WriteAccessBits, key);
  const bool keyB = access::Allows(condition, TrailerRight::WriteKeyB, key);
  if (!keyA && !accessBits && !keyB) return status::kCannotExecute;
  // A real card would take inconsistent access bits and lock the sector for
  // good; the virtual one refuses them instead.
  if (accessBits && !access::DecodeAccessBits(AccessBytes(data))) return status::kBadArguments;
  Block& stored = blocks_[block];
  const auto copy = [&](size_t from, size_t to) {
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(from),
              data.begin() + static_cast<std::ptrdiff_t>(to),
              stored.begin() + static_cast<std::ptrdiff_t>(from));
  };
  if (keyA) copy(0, kKeyALength);
  if (accessBits) copy(kAccessBitsAt, kKeyBAt);
  if (keyB) copy(kKeyBAt, stored.size());
  return status::kSuccess;
}

uint8_t MifareClassic::Operate(ValueOperation operation, int source, int destination,
                               uint32_t amount) {
  if (HoldsNoValue(source) || HoldsNoValue(destination)) return status::kCannotExecute;
  const DataRight sourceRight =
      operation == ValueOperation::Increment ? DataRight::Increment : DataRight::DecrementTransferRestore;
  uint8_t access = CheckAccess(source, [&](const access::SectorConditions& c, KeyType key) {
    return access::Allows(c[source % 4], sourceRight, key);
  });
  if (access != status::kSuccess) return access;
  access = CheckAccess(destination, [&](const access::SectorConditions& c, KeyType key) {
    return access::Allows(c[destination % 4], DataRight::DecrementTransferRestore, key);
  });
  if (access != status::kSuccess) return access;
  const auto value = mifare::ParseValueBlock(blocks_[source]);
  if (!value) return status::kCannotExecute;
  int64_t result = value->value;
  if (operation == ValueOperation::Increment) result += amount;
  if (operation == ValueOperation::Decrement) result -= amount;
  // A purse neither goes below zero nor wraps.
  if (result < 0 || result > std::numeric_limits<int32_t>::max()) return status::kInvalidAmount;
  blocks_[destination] = mifare::MakeValueBlock({static_cast<int32_t>(result), value->address});
  return status::kSuccess;
}

}  // namespace vqsim
