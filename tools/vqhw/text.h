#pragma once
// Texts for people: the library's GBK messages as UTF-8, bytes as hex.

#include <cstdint>
#include <span>
#include <string>

// The hex that people type, vqshared::DecodeHex, is stricter than the
// library, which skips stray characters: a typing error must not reach a card.
#include "shared/hex_text.h"

namespace vqtool {

std::string GbkToUtf8(const std::string& gbk);
std::string Hex(std::span<const uint8_t> bytes);         // "FF 00 70"
std::string CompactHex(std::span<const uint8_t> bytes);  // "FF0070"
// Bytes shown as ASCII, a dot for anything unprintable.
std::string Printable(std::span<const uint8_t> bytes);

}  // namespace vqtool
