#pragma once
// The access bits of a sector trailer (bytes 6 to 9) in words: the
// condition C1 C2 C3 of each block and which key may do what with it.

#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

namespace vqtool {

struct AccessDescription {
  bool consistent = false;  // every bit matches its inverse; else the sector is blocked
  nlohmann::json json;
  std::vector<std::string> lines;
};

AccessDescription DescribeAccessBits(std::span<const uint8_t, 4> bytes);

}  // namespace vqtool
