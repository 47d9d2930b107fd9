#pragma once
// A file of a smart card's file system: a dedicated file (the MF or an
// application DF, with its children), a transparent EF (bytes) or a cyclic
// record EF (the newest record is record 1; when full, a new record
// replaces the oldest). Each EF says who may read and who may update it.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace vqsim {

enum class FileKind : uint8_t { kDedicated, kTransparent, kCyclic };

enum class Access : uint8_t {
  kAlways,
  kPin,                     // after a VERIFY with the right PIN in this DF
  kExternalAuthentication,  // after an EXTERNAL AUTHENTICATE in this DF
  kNever,
};

struct CardFile {
  uint16_t id = 0;
  FileKind kind = FileKind::kDedicated;
  std::vector<uint8_t> name;  // a DF's name, to select it by
  uint8_t shortId = 0;        // an EF's short file identifier, 1..30; 0 for none
  Access read = Access::kAlways;
  Access update = Access::kAlways;
  std::vector<uint8_t> content;                // transparent EF
  size_t recordLength = 0;                     // cyclic EF
  size_t recordCapacity = 0;
  std::deque<std::vector<uint8_t>> records;    // newest first
  std::deque<CardFile> children;               // a DF's files; references stay valid as it grows

  static CardFile Dedicated(uint16_t id, std::vector<uint8_t> name);
  static CardFile Transparent(uint16_t id, uint8_t shortId, std::vector<uint8_t> content);
  static CardFile Cyclic(uint16_t id, uint8_t shortId, size_t recordLength, size_t capacity);

  CardFile& Add(CardFile child);
  CardFile* Child(uint16_t childId);
  const CardFile* Child(uint16_t childId) const;
  CardFile* ChildByShortId(uint8_t childShortId);
  // This DF or a DF below it with exactly that name.
  CardFile* FindDedicated(std::span<const uint8_t> dfName);
  // Writes a new newest record; the oldest goes when the file is full.
  void AppendRecord(std::vector<uint8_t> record);
};

}  // namespace vqsim
