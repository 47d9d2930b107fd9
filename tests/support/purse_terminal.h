#pragma once
// The terminal's side of a purse purchase for the purse tests at every
// level (card models, catalogue operations, text exports): the tools'
// purse arithmetic, with the date and terminal the tests use.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "sim/cards/purse/purse_crypto.h"
#include "shared/hex_text.h"
#include "lane/purse_terminal.h"

namespace vqtest::purse {

using namespace vqlane::purse;
using vqlane::purse::Bytes;  // not vqtest::Bytes, the hex helper

inline const DateTime kWhen{{0x20, 0x26, 0x12, 0x08}, {0x09, 0x30, 0x15}};
inline const TerminalNumber kPsamTerminal{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // the default PSAM's EF 0016

inline std::string Hex(std::span<const uint8_t> bytes) { return vqshared::EncodeHex(bytes); }

// Two hexadecimal digits a byte.
inline Bytes FromHex(const std::string& text) {
  auto bytes = vqshared::DecodeHex(text);
  if (!bytes) throw std::invalid_argument("not hex: " + text);
  return *bytes;
}

}  // namespace vqtest::purse
