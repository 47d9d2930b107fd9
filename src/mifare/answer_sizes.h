#pragma once
// What the reader's answer to each MIFARE ONE command carries, as the
// operations read it: a fixed number of data bytes, or as many as the
// request's length byte asks for. A command without a row returns no data.
// The operations run every command through MifareOne::Run, which refuses a
// success answer shorter than this.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "mifare/mifare_layout.h"
#include "protocol/commands.h"

namespace vqhw::mifare {

struct AnswerSize {
  uint8_t command;
  size_t fixedBytes;
  // Index of the request byte that gives the size instead, or kFixed.
  size_t requestedLengthAt;
};

inline constexpr size_t kFixed = SIZE_MAX;

inline constexpr std::array<AnswerSize, 6> kAnswerSizes{{
    {command::kRequest, 2, kFixed},                    // answer to request
    {command::kAnticollision, kSerialSize, kFixed},    // serial
    {command::kSelect, 1, kFixed},                     // SAK
    {command::kActivate, kRecordSize, kFixed},         // serial, SAK
    {command::kReadBlock, kBlockSize, kFixed},         // the block
    {command::kReadFile, 0, 3},                        // file number, key, offset, length
}};

// The fewest data bytes a success answer to `command` with this request carries.
constexpr size_t AnswerDataSize(uint8_t command, const uint8_t* request, int32_t count) {
  const auto* row = std::find_if(kAnswerSizes.begin(), kAnswerSizes.end(),
                                 [command](const AnswerSize& r) { return r.command == command; });
  if (row == kAnswerSizes.end()) return 0;
  if (row->requestedLengthAt == kFixed) return row->fixedBytes;
  return static_cast<size_t>(count) > row->requestedLengthAt ? request[row->requestedLengthAt] : 0;
}

}  // namespace vqhw::mifare
