#pragma once
// A frame on the line as the panel shows it: direction, sequence, the
// command's or status's name, the data, and for the APDU commands the APDU
// and the card's status word with its text. The names and texts are the
// library's own tables (src/protocol), which depend on nothing else; the
// reader model shares nothing with the library.

#include <cstdint>
#include <span>

#include <nlohmann/json.hpp>

#include "shared/session_record.h"

namespace vqsim::panel {

// `bytes` is a whole frame when `isFrame`, else bytes that were no frame.
// The answer to an APDU command (`answeredCode`, the code of the command
// it answers) carries the status word in its last two data bytes.
nlohmann::json DecodeFrame(vqshared::LineDirection direction, std::span<const uint8_t> bytes, bool isFrame,
                           uint8_t answeredCode = 0);

// The status word's text, as the library knows it.
const char* StatusWordText(uint16_t statusWord);

// The data bytes of a whole frame.
std::span<const uint8_t> FrameData(std::span<const uint8_t> frame);

// The command codes that carry an APDU: to the user card and to the PSAM.
bool CarriesApdu(uint8_t command);

}  // namespace vqsim::panel
