#pragma once
// Two-key triple DES as the cards compute it: a block cipher on 8-byte
// blocks, and a 4-byte MAC (CBC over the data padded with 80 00 ..). The
// cipher is the system's: libcrypto on Linux (des3_posix.cpp), CNG on
// Windows (des3_win32.cpp); the MAC is built on it once (des3.cpp).

#include <array>
#include <cstdint>
#include <span>

namespace vqsim {

using DesKey = std::array<uint8_t, 16>;
using DesBlock = std::array<uint8_t, 8>;
using Mac = std::array<uint8_t, 4>;

// Throws std::runtime_error when the system has no triple DES.
DesBlock Encrypt3Des(const DesKey& key, const DesBlock& block);
// The first four bytes of the last CBC block, starting from `initialValue`.
Mac Mac3Des(const DesKey& key, const DesBlock& initialValue, std::span<const uint8_t> data);

}  // namespace vqsim
