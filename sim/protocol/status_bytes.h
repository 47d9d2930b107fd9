#pragma once

#include <cstdint>

namespace vqsim::status {

// Status bytes the virtual reader answers with.
inline constexpr uint8_t kSuccess = 0x00;
inline constexpr uint8_t kNoCard = 0xFF;               // no card in the antenna field
inline constexpr uint8_t kCardTimeout = 0xF2;          // the card stopped answering in the middle of a command
inline constexpr uint8_t kSeveralCards = 0xF3;         // cards in the field that anticollision cannot part
inline constexpr uint8_t kUnknownCommand = 0xF7;       // command not recognised
inline constexpr uint8_t kBadArguments = 0xF0;         // request data of the wrong length or content
inline constexpr uint8_t kReaderBufferOverflow = 0xED; // an answer too long for one frame
inline constexpr uint8_t kPsamTimeout = 0xC3;          // no PSAM answered
inline constexpr uint8_t kCommunicationError = 0xA5;   // a command frame with a bad check byte
// MIFARE Classic card operations.
inline constexpr uint8_t kAuthenticationFailed = 0xFD; // the card refused the key
inline constexpr uint8_t kInvalidSerial = 0xFA;        // no selected card has that serial number
inline constexpr uint8_t kNoKeyLoaded = 0xF9;          // the reader holds no key for that slot
inline constexpr uint8_t kNotAuthenticated = 0xF8;     // the block's sector is not authenticated
inline constexpr uint8_t kWrongCardKind = 0xFB;        // a MIFARE command for another kind of card
inline constexpr uint8_t kCannotExecute = 0xF1;        // the access bits (or the block) forbid it
inline constexpr uint8_t kInvalidAmount = 0xEF;        // a value operation would leave 0..2^31-1

}  // namespace vqsim::status
