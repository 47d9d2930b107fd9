#pragma once
// How a catalogue command lays out its APDU and splits its answer, and the
// one builder that serves every command. Pure: no I/O, no reader state.
//
// A command's arguments always come in one order: the header bytes it takes
// from the caller (CLA, INS, P1, P2), then lc (or n), data and le where it
// has them, then out and outLength when it answers data, then sw. The
// position of an argument in that order gives the status that refuses it.

#include <array>
#include <cstdint>

#include "protocol/frame.h"
#include "base/reader_status.h"

namespace vqhw::apdu {

// A header byte that comes from the argument of that name.
inline constexpr int16_t kFromCaller = -1;

enum class DataField : uint8_t {
  kNone,             // CLA INS P1 P2 P3
  kFixed,            // Lc = dataLength, then that many bytes of the caller's buffer
  kCaller,           // Lc = the caller's lc (at most dataLength when that is not 0)
  kSecureMessaging,  // Lc = n, or n + 4 when CLA is not 0: the caller's MAC follows the data
  kOnlyWithClass04,  // Lc = lc and the data when CLA is 0x04; otherwise no data field
};

enum class LeField : uint8_t { kAbsent, kFixed, kCaller };

enum class ReplyForm : uint8_t {
  kStatusOnly,   // S: the status word alone
  kVariable,     // V: every data byte the card sent
  kFixedLength,  // F(n): n data bytes expected
};

struct ApduLayout {
  std::array<int16_t, 4> header;  // CLA INS P1 P2: a byte value, or kFromCaller
  DataField data = DataField::kNone;
  int16_t dataLength = 0;
  LeField le = LeField::kAbsent;  // after the data field, or as P3 when there is none
  uint8_t leValue = 0;            // for LeField::kFixed
  ReplyForm reply = ReplyForm::kStatusOnly;
  int16_t expected = 0;  // kFixedLength: n, or kFromCaller for the caller's le
};

// The caller's command arguments; a layout reads only those it names. Header
// and length arguments send their low byte.
struct ApduArguments {
  int32_t cla = 0;
  int32_t ins = 0;
  int32_t p1 = 0;
  int32_t p2 = 0;
  int32_t lc = 0;  // lc, or n under secure messaging
  const uint8_t* data = nullptr;
  int32_t le = 0;
};

// A command of a catalogue: the channel it goes on and its layout.
struct CatalogueCommand {
  uint8_t channel;
  ApduLayout layout;
};

// Where the answer goes: out and outLength for the commands that answer data.
struct ReplyOutputs {
  uint8_t* out = nullptr;
  int32_t* outLength = nullptr;
  uint8_t* sw = nullptr;
};

// Answers expect at most this many data bytes, so that the status word
// behind them stays inside the 256-byte response buffer.
inline constexpr int32_t kMaxExpectedLength = 250;

struct BuiltApdu {
  ReaderStatus status = status::kOk;  // a refused argument's status, or kOk
  int32_t length = 0;
};

// Builds the APDU into `apdu` after checking the arguments in their order:
// a negative or too long lc, missing data, or an le outside 0..250 is
// refused with its position's status and nothing is written.
BuiltApdu BuildApdu(const ApduLayout& layout, const ApduArguments& arguments,
                    std::array<uint8_t, kMaxCommandData>& apdu);

// The status of the first output the layout needs that is null, else kOk.
ReaderStatus CheckOutputs(const ApduLayout& layout, const ReplyOutputs& outputs);

// The n of an F(n) layout for these arguments.
int32_t ExpectedLength(const ApduLayout& layout, const ApduArguments& arguments);

// The status that refuses the argument at `position` (1 for the first).
// Positions past the fifth have no message of their own and get the
// general failure.
constexpr ReaderStatus ArgumentStatus(int32_t position) {
  return position >= 1 && position <= 5 ? -position : status::kArgument1;
}

}  // namespace vqhw::apdu
