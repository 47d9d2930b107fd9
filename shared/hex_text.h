#pragma once
// Hex text as people type it and as field files hold it, for the tools and
// the virtual reader's programs (the library in src/ keeps its own codec,
// whose rules for callers differ: it skips stray characters).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vqshared {

// Hex digits in pairs, either case, blanks and colons allowed between
// pairs; none when anything else is there or a digit has no partner. A
// typing error must not reach a card.
std::optional<std::vector<uint8_t>> DecodeHex(std::string_view text);

// Upper-case digits, `separator` between bytes: "FF0070", "FF 00 70".
std::string EncodeHex(std::span<const uint8_t> bytes, std::string_view separator = "");

}  // namespace vqshared
