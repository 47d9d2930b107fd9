#pragma once
// Shorthands that let the catalogues read as tables, one row per command:
//   Row({CLA, INS, P1, P2}, body, reply)
// where a header byte is a value or kArg (the argument of that name).

#include "apdu/apdu_layout.h"

namespace vqhw::apdu::rows {

inline constexpr int16_t kArg = kFromCaller;

struct Body {
  DataField data = DataField::kNone;
  int16_t dataLength = 0;
  LeField le = LeField::kAbsent;
  uint8_t leValue = 0;
};

// P3 only: a fixed byte, or the caller's le.
constexpr Body P3(uint8_t value) { return {DataField::kNone, 0, LeField::kFixed, value}; }
inline constexpr Body kP3Le{DataField::kNone, 0, LeField::kCaller, 0};
// Lc and n bytes of the caller's buffer, with no Le, a fixed Le or the caller's le.
constexpr Body Data(int16_t n) { return {DataField::kFixed, n, LeField::kAbsent, 0}; }
constexpr Body Data(int16_t n, uint8_t le) { return {DataField::kFixed, n, LeField::kFixed, le}; }
constexpr Body DataLe(int16_t n) { return {DataField::kFixed, n, LeField::kCaller, 0}; }
// Lc = the caller's lc and lc bytes of data.
inline constexpr Body kLc{DataField::kCaller, 0, LeField::kAbsent, 0};
constexpr Body LcUpTo(int16_t most) { return {DataField::kCaller, most, LeField::kAbsent, 0}; }
constexpr Body LcThenLe(uint8_t le) { return {DataField::kCaller, 0, LeField::kFixed, le}; }
inline constexpr Body kLcLe{DataField::kCaller, 0, LeField::kCaller, 0};
// Lc = n, or n + 4 with the caller's MAC behind the data when CLA is not 0.
inline constexpr Body kSecureMessaging{DataField::kSecureMessaging, 0, LeField::kAbsent, 0};
// CLA 0x04: Lc, lc bytes of data (the MAC), Le; any other CLA: P3 = le.
inline constexpr Body kMacOnClass04{DataField::kOnlyWithClass04, 0, LeField::kCaller, 0};

struct Reply {
  ReplyForm form;
  int16_t expected = 0;
};
inline constexpr Reply S{ReplyForm::kStatusOnly};
inline constexpr Reply V{ReplyForm::kVariable};
constexpr Reply F(int16_t n) { return {ReplyForm::kFixedLength, n}; }
inline constexpr Reply kFLe{ReplyForm::kFixedLength, kFromCaller};

constexpr ApduLayout Row(std::array<int16_t, 4> header, Body body, Reply reply) {
  return {header, body.data, body.dataLength, body.le, body.leValue, reply.form, reply.expected};
}

}  // namespace vqhw::apdu::rows
