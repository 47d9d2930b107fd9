#include "apdu/apdu_layout.h"

#include <algorithm>

namespace vqhw::apdu {

namespace {

constexpr int32_t kHeaderSize = 4;
constexpr uint8_t kClassWithMacOnReads = 0x04;
constexpr int32_t kMacSize = 4;

// The position of each argument a layout takes; 0 when it takes none.
struct Positions {
  int32_t lc = 0;
  int32_t data = 0;
  int32_t le = 0;
  int32_t out = 0;
  int32_t outLength = 0;
  int32_t sw = 0;
};

Positions PositionsOf(const ApduLayout& layout) {
  int32_t next = 0;
  for (int16_t byte : layout.header) {
    if (byte == kFromCaller) ++next;
  }
  Positions at;
  const DataField data = layout.data;
  if (data == DataField::kCaller || data == DataField::kSecureMessaging ||
      data == DataField::kOnlyWithClass04) {
    at.lc = ++next;
  }
  if (data != DataField::kNone) at.data = ++next;
  if (layout.le == LeField::kCaller) at.le = ++next;
  if (layout.reply != ReplyForm::kStatusOnly) {
    at.out = ++next;
    at.outLength = ++next;
  }
  at.sw = ++next;
  return at;
}

BuiltApdu Refuse(int32_t position) { return {ArgumentStatus(position), 0}; }

}  // namespace

BuiltApdu BuildApdu(const ApduLayout& layout, const ApduArguments& arguments,
                    std::array<uint8_t, kMaxCommandData>& apdu) {
  const Positions at = PositionsOf(layout);
  const int32_t callerHeader[] = {arguments.cla, arguments.ins, arguments.p1, arguments.p2};
  uint8_t header[kHeaderSize];
  for (int i = 0; i < kHeaderSize; ++i) {
    const int16_t fixed = layout.header[static_cast<size_t>(i)];
    header[i] = static_cast<uint8_t>(fixed == kFromCaller ? callerHeader[i] : fixed);
  }
  const uint8_t cla = header[0];

  // Bytes of the caller's buffer that go out (64 bits: lc may be anything).
  int64_t dataBytes = 0;
  bool hasDataField = layout.data != DataField::kNone;
  switch (layout.data) {
    case DataField::kNone:
      break;
    case DataField::kFixed:
      dataBytes = layout.dataLength;
      break;
    case DataField::kCaller:
      if (arguments.lc < 0 || (layout.dataLength > 0 && arguments.lc > layout.dataLength)) {
        return Refuse(at.lc);
      }
      dataBytes = arguments.lc;
      break;
    case DataField::kSecureMessaging:
      if (arguments.lc < 0) return Refuse(at.lc);
      dataBytes = int64_t{arguments.lc} + (cla != 0 ? kMacSize : 0);
      break;
    case DataField::kOnlyWithClass04:
      hasDataField = cla == kClassWithMacOnReads;
      if (hasDataField && arguments.lc < 0) return Refuse(at.lc);
      if (hasDataField) dataBytes = arguments.lc;
      break;
  }
  const bool hasLe = layout.le != LeField::kAbsent;
  const int64_t length = kHeaderSize + (hasDataField ? 1 + dataBytes : 0) + (hasLe ? 1 : 0);
  if (length > kMaxCommandData) return Refuse(at.lc);
  if (dataBytes > 0 && arguments.data == nullptr) return Refuse(at.data);
  if (layout.le == LeField::kCaller &&
      (arguments.le < 0 || arguments.le > kMaxExpectedLength)) {
    return Refuse(at.le);
  }

  auto next = std::copy(header, header + kHeaderSize, apdu.begin());
  if (hasDataField) {
    *next++ = static_cast<uint8_t>(dataBytes);
    next = std::copy_n(arguments.data, dataBytes, next);
  }
  if (hasLe) {
    *next++ = static_cast<uint8_t>(layout.le == LeField::kFixed ? layout.leValue : arguments.le);
  }
  return {status::kOk, static_cast<int32_t>(length)};
}

ReaderStatus CheckOutputs(const ApduLayout& layout, const ReplyOutputs& outputs) {
  const Positions at = PositionsOf(layout);
  if (layout.reply != ReplyForm::kStatusOnly) {
    if (outputs.out == nullptr) return ArgumentStatus(at.out);
    if (outputs.outLength == nullptr) return ArgumentStatus(at.outLength);
  }
  if (outputs.sw == nullptr) return ArgumentStatus(at.sw);
  return status::kOk;
}

int32_t ExpectedLength(const ApduLayout& layout, const ApduArguments& arguments) {
  return layout.expected == kFromCaller ? arguments.le : layout.expected;
}

}  // namespace vqhw::apdu
