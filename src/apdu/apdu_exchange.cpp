// The hex text exchanges with the CPU user card and the PSAM, and the copy
// of the last frame for diagnosis.

#include <algorithm>
#include <cstring>

#include "apdu/reply_split.h"
#include "protocol/reader_device.h"
#include "util/hex_codec.h"

namespace vqhw {

namespace {

// The first bytes of every output are cleared before the exchange, so an
// output that nothing fills reads as an empty text.
constexpr size_t kClearedOutputBytes = 4;

struct Exchange {
  uint8_t channel;
  bool appliesCardKindRule;
  apdu::TextForm form;
};

constexpr Exchange kProStatusFirst{ReaderDevice::kUserCardChannel, true, apdu::TextForm::kStatusFirst};
constexpr Exchange kProSplit{ReaderDevice::kUserCardChannel, true, apdu::TextForm::kSplit};
constexpr Exchange kProDataThenStatus{ReaderDevice::kUserCardChannel, true, apdu::TextForm::kDataThenStatus};
constexpr Exchange kSamDataThenStatus{ReaderDevice::kPsamChannel, false, apdu::TextForm::kDataThenStatus};
constexpr Exchange kSamSplit{ReaderDevice::kPsamChannel, true, apdu::TextForm::kSplit};
constexpr Exchange kSamStatusFirst{ReaderDevice::kPsamChannel, false, apdu::TextForm::kStatusFirst};

// The decoder reads only the first kHexScanLimit characters: an APDU whose
// digits go on past them is refused, not sent cut short. A last digit
// without a partner is dropped, as in every hex text of the library.
bool DecodesWhole(const char* text) {
  for (size_t i = 0; text[i] != '\0'; ++i) {
    if (i >= kHexScanLimit && HexDigitValue(text[i]) >= 0) return false;
  }
  return true;
}

ReaderStatus RunExchange(ReaderDevice& device, const Exchange& exchange, const char* apduText,
                         char* text, char* statusText) {
  if (!device.isOpen) return status::kNotOpen;
  if (apduText == nullptr || !DecodesWhole(apduText)) return status::kArgument1;
  if (text == nullptr) return status::kArgument2;
  const bool split = exchange.form == apdu::TextForm::kSplit;
  if (split && statusText == nullptr) return status::kArgument3;
  std::memset(text, 0, kClearedOutputBytes);
  if (split) std::memset(statusText, 0, kClearedOutputBytes);

  uint8_t response[kFrameBufferSize];
  ReaderStatus result = device.TransactHex(exchange.channel, apduText, response);
  if (result != status::kOk) return result;
  const uint8_t statusByte = response[frame::kCode];
  if (statusByte != 0) return StatusFromByte(statusByte);
  // The card has carried the command out by now; only its answer is withheld.
  if (exchange.appliesCardKindRule) {
    result = device.CheckCardKind();
    if (result != status::kOk) return result;
  }
  const std::span<const uint8_t> reply(response + frame::kData, response[frame::kLength]);
  return apdu::SplitReplyText(exchange.form, reply, text, statusText);
}

}  // namespace

ReaderStatus ReaderDevice::TransactHex(uint8_t command, const char* apduText, uint8_t* response) {
  if (!isOpen) return status::kNotOpen;
  if (apduText == nullptr || !DecodesWhole(apduText)) return status::kArgument2;
  if (response == nullptr) return status::kArgument3;
  uint8_t apdu[kFrameBufferSize];
  int32_t count = 0;
  HexToBytes(apduText, apdu, &count);
  return Transact(command, apdu, count, response);
}

ReaderStatus ReaderDevice::ProApduStatusFirstHex(const char* apduText, char* replyText) {
  return RunExchange(*this, kProStatusFirst, apduText, replyText, nullptr);
}

ReaderStatus ReaderDevice::ProApduSplitHex(const char* apduText, char* dataText,
                                           char* statusWordText) {
  return RunExchange(*this, kProSplit, apduText, dataText, statusWordText);
}

ReaderStatus ReaderDevice::ProApduHex(const char* apduText, char* replyText) {
  return RunExchange(*this, kProDataThenStatus, apduText, replyText, nullptr);
}

ReaderStatus ReaderDevice::SamApduHex(const char* apduText, char* replyText) {
  return RunExchange(*this, kSamDataThenStatus, apduText, replyText, nullptr);
}

ReaderStatus ReaderDevice::SamApduSplitHex(const char* apduText, char* dataText,
                                           char* statusWordText) {
  return RunExchange(*this, kSamSplit, apduText, dataText, statusWordText);
}

ReaderStatus ReaderDevice::SamApduStatusFirstHex(const char* apduText, char* replyText) {
  return RunExchange(*this, kSamStatusFirst, apduText, replyText, nullptr);
}

int32_t ReaderDevice::CopyLastFrame(int32_t which, uint8_t* out) {
  if (which != 0 && which != 1) return status::kArgument1;
  if (out == nullptr) return status::kArgument2;
  const uint8_t* buffer = which == 0 ? commandFrame : responseFrame;
  // The frame and the zero byte behind it; a frame of 251 data bytes fills
  // the whole buffer and has none.
  const size_t copied = std::min(FrameSize(buffer) + 1, kFrameBufferSize);
  std::memset(out, 0, std::min(copied + 1, kFrameBufferSize));
  std::memcpy(out, buffer, copied);
  return static_cast<int32_t>(copied);
}

}  // namespace vqhw
