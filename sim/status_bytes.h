#pragma once

#include <cstdint>

namespace vqsim::status {

// Status bytes the virtual reader answers with.
inline constexpr uint8_t kSuccess = 0x00;
inline constexpr uint8_t kNoCard = 0xFF;               // no card in the antenna field
inline constexpr uint8_t kUnknownCommand = 0xF7;       // command not recognised
inline constexpr uint8_t kBadArguments = 0xF0;         // request data of the wrong length or content
inline constexpr uint8_t kReaderBufferOverflow = 0xED; // an answer too long for one frame
inline constexpr uint8_t kPsamTimeout = 0xC3;          // no PSAM answered
inline constexpr uint8_t kCommunicationError = 0xA5;   // a command frame with a bad check byte

}  // namespace vqsim::status
