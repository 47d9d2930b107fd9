#pragma once
// Texts for people: the library's GBK messages as UTF-8, bytes as hex, and
// the hex that people type on the command line.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vqtool {

std::string GbkToUtf8(const std::string& gbk);
std::string Hex(std::span<const uint8_t> bytes);         // "FF 00 70"
std::string CompactHex(std::span<const uint8_t> bytes);  // "FF0070"
// Bytes shown as ASCII, a dot for anything unprintable.
std::string Printable(std::span<const uint8_t> bytes);

// Hex digits in pairs, blanks and colons between pairs allowed; none when
// anything else is there or a digit has no partner. Stricter than the
// library, which skips stray characters: a typing error must not reach a card.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

}  // namespace vqtool
