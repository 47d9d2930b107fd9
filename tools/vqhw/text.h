#pragma once
// Texts for people: the library's GBK messages as UTF-8, bytes as hex.

#include <cstdint>
#include <span>
#include <string>

namespace vqtool {

std::string GbkToUtf8(const std::string& gbk);
std::string Hex(std::span<const uint8_t> bytes);  // "FF 00 70"

}  // namespace vqtool
