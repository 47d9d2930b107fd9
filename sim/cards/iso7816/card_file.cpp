#include "sim/cards/iso7816/card_file.h"

#include <algorithm>
#include <utility>

namespace vqsim {

CardFile CardFile::Dedicated(uint16_t id, std::vector<uint8_t> name) {
  CardFile file;
  file.id = id;
  file.name = std::move(name);
  return file;
}

CardFile CardFile::Transparent(uint16_t id, uint8_t shortId, std::vector<uint8_t> content) {
  CardFile file;
  file.id = id;
  file.kind = FileKind::kTransparent;
  file.shortId = shortId;
  file.content = std::move(content);
  return file;
}

CardFile CardFile::Cyclic(uint16_t id, uint8_t shortId, size_t recordLength, size_t capacity) {
  CardFile file;
  file.id = id;
  file.kind = FileKind::kCyclic;
  file.shortId = shortId;
  file.recordLength = recordLength;
  file.recordCapacity = capacity;
  return file;
}

CardFile& CardFile::Add(CardFile child) { return children.emplace_back(std::move(child)); }

CardFile* CardFile::Child(uint16_t childId) {
  auto it = std::ranges::find(children, childId, &CardFile::id);
  return it == children.end() ? nullptr : &*it;
}

const CardFile* CardFile::Child(uint16_t childId) const {
  auto it = std::ranges::find(children, childId, &CardFile::id);
  return it == children.end() ? nullptr : &*it;
}

CardFile* CardFile::ChildByShortId(uint8_t childShortId) {
  if (childShortId == 0) return nullptr;
  auto it = std::ranges::find(children, childShortId, &CardFile::shortId);
  return it == children.end() ? nullptr : &*it;
}

CardFile* CardFile::FindDedicated(std::span<const uint8_t> dfName) {
  if (kind != FileKind::kDedicated) return nullptr;
  if (std::ranges::equal(name, dfName)) return this;
  for (CardFile& child : children) {
    if (CardFile* found = child.FindDedicated(dfName)) return found;
  }
  return nullptr;
}

void CardFile::AppendRecord(std::vector<uint8_t> record) {
  records.push_front(std::move(record));
  if (records.size() > recordCapacity) records.pop_back();
}

}  // namespace vqsim
