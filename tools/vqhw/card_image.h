#pragma once
// A MIFARE ONE card saved by `dump -o` and written back by `restore`: its
// serial, and sector by sector the blocks read, the key that read them and
// both keys where they are known (a card reads key A as zeros, and key B
// only where the access bits let it). Kept as JSON with the access bits in
// words, or as the plain 1024 bytes of the 64 blocks that other card tools
// use, each trailer with the known keys in place (an unknown key is zeros).

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "vqhw/mifare_card.h"

namespace vqtool {

struct SectorImage {
  std::array<std::optional<BlockData>, 4> blocks;  // none: not read
  std::optional<char> keyType;                    // 'A' or 'B': the key that read the sector
  std::optional<Key> keyA, keyB;                  // where known
  nlohmann::json readError;                       // the failure of a sector not read whole
};

struct CardImage {
  std::array<uint8_t, 4> serial{};
  std::array<SectorImage, kSectors> sectors;

  bool Whole() const;  // every block read
  // The trailer with the known keys in place of what the card showed.
  BlockData Trailer(int sector) const;
};

// The keys a trailer read with `keyType`/`key` shows as known.
void LearnKeys(SectorImage& sector, char keyType, const Key& key);

enum class ImageFormat { kJson, kBinary };
// The format a file name asks for: .bin and .mfd are binary, all else JSON.
ImageFormat FormatOfName(const std::string& path);

nlohmann::json ImageJson(const CardImage& image);
// Writes the image; throws ToolError (73) when the file cannot be written,
// (64) for a binary image of a card not read whole.
void SaveImage(const CardImage& image, const std::string& path, ImageFormat format);
// Reads a JSON or binary image; throws ToolError: 66 unreadable, 65 malformed.
CardImage LoadImage(const std::string& path);

}  // namespace vqtool
