#pragma once
// The reader's commands: one row each, code and name. The operations send
// them by these constants and the tools name the frames of a trace by the
// same table. Header only, and it includes nothing of the library, so the
// tools read it too.

#include <algorithm>
#include <array>
#include <cstdint>

namespace vqhw::command {

// Card activation
inline constexpr uint8_t kRequest = 0x40;
inline constexpr uint8_t kAnticollision = 0x41;
inline constexpr uint8_t kSelect = 0x42;
inline constexpr uint8_t kActivate = 0x80;
inline constexpr uint8_t kHalt = 0x58;
// MIFARE ONE keys, blocks and values
inline constexpr uint8_t kAuthenticate = 0x50;
inline constexpr uint8_t kReadBlock = 0x51;
inline constexpr uint8_t kWriteBlock = 0x52;
inline constexpr uint8_t kDecrementValue = 0x53;
inline constexpr uint8_t kIncrementValue = 0x54;
inline constexpr uint8_t kRestoreValue = 0x55;
inline constexpr uint8_t kLoadKey = 0x56;
// Card files
inline constexpr uint8_t kReadFile = 0x81;
inline constexpr uint8_t kWriteFile = 0x82;
inline constexpr uint8_t kPrepareFileWrite = 0x83;
// APDU channels
inline constexpr uint8_t kUserCardApdu = 0x60;
inline constexpr uint8_t kPsamApdu = 0x61;
// The reader itself
inline constexpr uint8_t kProbe = 0x70;
inline constexpr uint8_t kLineSpeed = 0x71;
inline constexpr uint8_t kRfFieldReset = 0x72;
inline constexpr uint8_t kPsamReset = 0x73;
inline constexpr uint8_t kMmi = 0x74;
inline constexpr uint8_t kSecondLineSpeed = 0x75;
inline constexpr uint8_t kProCardReset = 0x76;

struct Row {
  uint8_t code;
  const char* name;
};

inline constexpr std::array<Row, 24> kTable{{
    {kRequest, "request"},
    {kAnticollision, "anticollision"},
    {kSelect, "select"},
    {kAuthenticate, "authenticate"},
    {kReadBlock, "read block"},
    {kWriteBlock, "write block"},
    {kDecrementValue, "decrement value"},
    {kIncrementValue, "increment value"},
    {kRestoreValue, "restore value"},
    {kLoadKey, "load key"},
    {kHalt, "halt"},
    {kUserCardApdu, "CPU card APDU"},
    {kPsamApdu, "PSAM APDU"},
    {kProbe, "probe"},
    {kLineSpeed, "change line speed"},
    {kRfFieldReset, "field reset"},
    {kPsamReset, "PSAM reset"},
    {kMmi, "MMI control"},
    {kSecondLineSpeed, "second line speed"},
    {kProCardReset, "CPU card reset"},
    {kActivate, "activate card"},
    {kReadFile, "read file"},
    {kWriteFile, "write file"},
    {kPrepareFileWrite, "prepare file write"},
}};

// The command's name, or null for a code the library never sends.
constexpr const char* NameOf(uint8_t code) {
  const auto* row = std::find_if(kTable.begin(), kTable.end(),
                                 [code](const Row& r) { return r.code == code; });
  return row == kTable.end() ? nullptr : row->name;
}

}  // namespace vqhw::command
