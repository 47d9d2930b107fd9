#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/commands/reader_state.h"

namespace vqsim {

// What a command handler answers: a status byte and the answer's data.
struct Reply {
  uint8_t status = 0;
  std::vector<uint8_t> data;
};

using CommandHandler = Reply (*)(ReaderState& state, std::span<const uint8_t> data);

struct CommandEntry {
  uint8_t code;
  std::optional<size_t> dataLength;  // the request's data length; none: the handler checks it
  CommandHandler handler;
};

// Runs one command on the reader: the handler of its code, after the data
// length check. An unknown code answers "command not recognised".
Reply Dispatch(ReaderState& state, uint8_t command, std::span<const uint8_t> data);

}  // namespace vqsim
