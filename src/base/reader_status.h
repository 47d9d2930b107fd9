#pragma once
// Status codes of every internal operation: 0 success, negative failure.
// Every layer of the core may include this header; it includes nothing.

#include <cstdint>

namespace vqhw {

using ReaderStatus = int32_t;

namespace status {
inline constexpr ReaderStatus kOk = 0;
inline constexpr ReaderStatus kArgument1 = -1;  // also the general "failed"
inline constexpr ReaderStatus kArgument2 = -2;
inline constexpr ReaderStatus kArgument3 = -3;
inline constexpr ReaderStatus kArgument4 = -4;
inline constexpr ReaderStatus kArgument5 = -5;
inline constexpr ReaderStatus kNotOpen = -7;
inline constexpr ReaderStatus kAlreadyOpen = -8;
inline constexpr ReaderStatus kAlreadyClosed = -9;
inline constexpr ReaderStatus kReceiveTimeout = -10;
inline constexpr ReaderStatus kSendTimeout = -11;
inline constexpr ReaderStatus kCannotOpen = -12;
inline constexpr ReaderStatus kSettingsUnreadable = -13;
inline constexpr ReaderStatus kCannotSend = -14;
inline constexpr ReaderStatus kSettingsRejected = -15;
inline constexpr ReaderStatus kTimeoutsNotSet = -16;
inline constexpr ReaderStatus kCheckByteWrong = -21;  // an answer spoilt on the line
inline constexpr ReaderStatus kMalformedReply = -22;  // an answer too short for its command
inline constexpr ReaderStatus kReaderNotFound = -23;
inline constexpr ReaderStatus kWrongSequence = -25;
inline constexpr ReaderStatus kNoPsam = -26;
inline constexpr ReaderStatus kCardKindRefused = -27;
inline constexpr ReaderStatus kIllegalCharacters = -28;
// An export called while another export of the same thread is in progress
// (from a signal handler that interrupted it): refused, nothing done.
inline constexpr ReaderStatus kBusyInThisThread = -29;
inline constexpr ReaderStatus kNoCard = -101;
inline constexpr ReaderStatus kTimeout = -1000;
}  // namespace status

// A non-zero status byte s of an answer (1..255) becomes s - 356
// (-355..-101); 0xFF, no card in the field, gives -101.
inline constexpr ReaderStatus kStatusByteOffset = 356;

constexpr ReaderStatus StatusFromByte(uint8_t statusByte) {
  return static_cast<ReaderStatus>(statusByte) - kStatusByteOffset;
}

// Whether a status stands for a status byte of an answer, and which.
constexpr bool IsStatusByteStatus(ReaderStatus s) {
  return s >= StatusFromByte(1) && s <= StatusFromByte(0xFF);
}
constexpr uint8_t StatusByteOf(ReaderStatus s) {
  return static_cast<uint8_t>(s + kStatusByteOffset);
}

}  // namespace vqhw
