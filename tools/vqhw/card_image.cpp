#include "vqhw/card_image.h"

#include <algorithm>
#include <filesystem>

#include "shared/exit_codes.h"
#include "shared/file_text.h"
#include "shared/json_text.h"
#include "shared/mifare_access.h"
#include "vqhw/access_text.h"
#include "vqhw/text.h"
#include "vqhw/tool_error.h"

namespace vqtool {

namespace {

constexpr size_t kBinarySize = kBlocks * 16;
constexpr size_t kKeyBAt = 10, kAccessAt = 6;

using nlohmann::json;

[[noreturn]] void Malformed(const std::string& path, const std::string& what) {
  throw ToolError(vqshared::kExitBadFile, path + ": " + what);
}

template <size_t N>
std::array<uint8_t, N> HexOf(const json& value, const std::string& path, const std::string& where) {
  const auto bytes = value.is_string() ? vqshared::DecodeHex(value.get<std::string>()) : std::nullopt;
  if (!bytes || bytes->size() != N) Malformed(path, where + ": " + std::to_string(N) + " bytes of hex expected");
  std::array<uint8_t, N> array{};
  std::ranges::copy(*bytes, array.begin());
  return array;
}

json KeyJson(const std::optional<Key>& key) { return key ? json(CompactHex(*key)) : json(nullptr); }

CardImage FromJson(const json& document, const std::string& path) {
  CardImage image;
  if (!document.is_object() || !document.contains("serial") || !document.contains("sectors") ||
      !document["sectors"].is_array() || document["sectors"].size() != kSectors) {
    Malformed(path, "a dump with \"serial\" and 16 \"sectors\" expected");
  }
  image.serial = HexOf<4>(document["serial"], path, "serial");
  for (int s = 0; s < kSectors; ++s) {
    const json& entry = document["sectors"][s];
    const std::string where = "sectors[" + std::to_string(s) + "]";
    if (!entry.is_object() || !entry.contains("blocks") || !entry["blocks"].is_array()) {
      Malformed(path, where + ": a sector with \"blocks\" expected");
    }
    SectorImage& sector = image.sectors[s];
    for (const char* name : {"key_a", "key_b"}) {
      if (entry.contains(name) && !entry[name].is_null()) {
        (name[4] == 'a' ? sector.keyA : sector.keyB) = HexOf<6>(entry[name], path, where + "." + name);
      }
    }
    if (entry.contains("key_type") && (entry["key_type"] == "A" || entry["key_type"] == "B")) {
      sector.keyType = entry["key_type"].get<std::string>()[0];
    }
    for (const json& block : entry["blocks"]) {
      const int number = block.is_object() ? block.value("block", -1) : -1;
      if (number < 4 * s || number >= 4 * s + 4)
        Malformed(path, where + ": a block of sector " + std::to_string(s) + " expected");
      if (block.contains("data")) {
        sector.blocks[number % 4] = HexOf<16>(block["data"], path, where + ".block " + std::to_string(number));
      }
    }
  }
  return image;
}

CardImage FromBinary(const std::string& bytes) {
  CardImage image;
  std::copy_n(bytes.begin(), 4, image.serial.begin());
  for (int block = 0; block < kBlocks; ++block) {
    BlockData data{};
    std::copy_n(bytes.begin() + 16 * block, 16, data.begin());
    SectorImage& sector = image.sectors[SectorOf(block)];
    sector.blocks[block % 4] = data;
    if (IsTrailer(block)) {
      sector.keyA.emplace();
      sector.keyB.emplace();
      std::copy_n(data.begin(), 6, sector.keyA->begin());
      std::copy_n(data.begin() + kKeyBAt, 6, sector.keyB->begin());
    }
  }
  return image;
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  if (!vqshared::WriteWholeFile(path, bytes)) throw ToolError(vqshared::kExitCannotWrite, path + ": cannot be written");
}

}  // namespace

bool CardImage::Whole() const {
  return std::ranges::all_of(sectors, [](const SectorImage& sector) {
    return std::ranges::all_of(sector.blocks, [](const auto& block) { return block.has_value(); });
  });
}

BlockData CardImage::Trailer(int sector) const {
  const SectorImage& image = sectors[sector];
  BlockData trailer = image.blocks[3].value_or(BlockData{});
  const Key none{};
  std::ranges::copy(image.keyA.value_or(none), trailer.begin());
  std::ranges::copy(image.keyB.value_or(none), trailer.begin() + kKeyBAt);
  return trailer;
}

void LearnKeys(SectorImage& sector, char keyType, const Key& key) {
  sector.keyType = keyType;
  (keyType == 'A' ? sector.keyA : sector.keyB) = key;
  if (keyType != 'A' || !sector.blocks[3]) return;
  // Key B shows in the trailer only where the access bits let key A read it.
  const BlockData& trailer = *sector.blocks[3];
  const auto conditions = vqshared::mifare::DecodeAccessBits(std::span<const uint8_t, 3>(trailer.data() + kAccessAt, 3));
  if (conditions && vqshared::mifare::Allows((*conditions)[3], vqshared::mifare::TrailerRight::ReadKeyB,
                                          vqshared::mifare::KeyType::A)) {
    sector.keyB.emplace();
    std::copy_n(trailer.begin() + kKeyBAt, 6, sector.keyB->begin());
  }
}

ImageFormat FormatOfName(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  return extension == ".bin" || extension == ".mfd" ? ImageFormat::kBinary : ImageFormat::kJson;
}

json ImageJson(const CardImage& image) {
  json sectors = json::array();
  for (int s = 0; s < kSectors; ++s) {
    const SectorImage& sector = image.sectors[s];
    json entry = {{"sector", s}, {"key_a", KeyJson(sector.keyA)}, {"key_b", KeyJson(sector.keyB)},
                  {"blocks", json::array()}};
    if (sector.keyType) entry["key_type"] = std::string(1, *sector.keyType);
    if (!sector.readError.is_null()) entry["error"] = sector.readError;
    for (int b = 0; b < 4; ++b) {
      json block = {{"block", 4 * s + b}};
      if (sector.blocks[b]) block["data"] = CompactHex(*sector.blocks[b]);
      entry["blocks"].push_back(block);
    }
    if (sector.blocks[3]) {
      entry["access"] = DescribeAccessBits(std::span<const uint8_t, 4>(sector.blocks[3]->data() + kAccessAt, 4)).json;
    }
    sectors.push_back(entry);
  }
  return {{"serial", CompactHex(image.serial)}, {"sectors", sectors}};
}

void SaveImage(const CardImage& image, const std::string& path, ImageFormat format) {
  if (format == ImageFormat::kJson) {
    WriteWhole(path, ImageJson(image).dump(2) + "\n");
    return;
  }
  if (!image.Whole()) {
    throw ToolError(vqshared::kExitUsage, path + ": not written: the binary form has no room to mark the blocks "
                                                 "that could not be read; save it as JSON");
  }
  std::string bytes;
  for (int block = 0; block < kBlocks; ++block) {
    const BlockData data = IsTrailer(block) ? image.Trailer(SectorOf(block))
                                            : *image.sectors[SectorOf(block)].blocks[block % 4];
    bytes.append(data.begin(), data.end());
  }
  WriteWhole(path, bytes);
}

CardImage LoadImage(const std::string& path) {
  std::string why;
  const std::optional<std::string> read = vqshared::ReadWholeFile(path, why);
  if (!read) throw ToolError(vqshared::kExitNoInput, path + ": cannot be read: " + why);
  const std::string& bytes = *read;
  const size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && bytes[first] == '{') {
    try {
      return FromJson(vqshared::ParseJson(bytes), path);
    } catch (const vqshared::JsonTextError& error) {
      Malformed(path, error.what());
    }
  }
  if (bytes.size() != kBinarySize) Malformed(path, "neither a JSON dump nor the 1024 bytes of a card");
  return FromBinary(bytes);
}

}  // namespace vqtool
