// The hex text exchanges with the CPU user card and the PSAM, and the text
// form of a transaction.

#include <cstring>

#include "apdu/apdu_channels.h"
#include "protocol/frame.h"
#include "util/hex_codec.h"

namespace vqhw {

namespace {

// The first bytes of every output are cleared before the exchange, so an
// output that nothing fills reads as an empty text.
constexpr size_t kClearedOutputBytes = 4;

// The decoder reads only the first kHexScanLimit characters: an APDU text
// that goes on past them is refused, not sent cut short. One character
// past the limit is all that is read to tell, so a text need not end
// within the caller's memory after that. A last digit without a partner
// is dropped, as in every hex text of the library.
bool DecodesWhole(const char* text) {
  return TextLengthUpTo(text, kHexScanLimit + 1) <= kHexScanLimit;
}

}  // namespace

ReaderStatus ApduChannels::TransactHex(uint8_t command, const char* apduText, uint8_t* response) {
  if (apduText == nullptr || !DecodesWhole(apduText)) return status::kArgument2;
  if (response == nullptr) return status::kArgument3;
  uint8_t apdu[kFrameBufferSize];
  const int32_t count = HexToBytes(apduText, apdu);
  return link.Transact(command, apdu, count, response);
}

ReaderStatus ApduChannels::Exchange(const apdu::HexExchange& exchange, const char* apduText,
                                    char* text, char* statusText) {
  // Before the arguments: a closed reader leaves every output as it was.
  if (!link.IsOpen()) return status::kNotOpen;
  if (apduText == nullptr || !DecodesWhole(apduText)) return status::kArgument1;
  if (text == nullptr) return status::kArgument2;
  const bool split = exchange.form == apdu::TextForm::kSplit;
  if (split && statusText == nullptr) return status::kArgument3;
  std::memset(text, 0, kClearedOutputBytes);
  if (split) std::memset(statusText, 0, kClearedOutputBytes);

  uint8_t apdu[kFrameBufferSize];
  const int32_t count = HexToBytes(apduText, apdu);
  uint8_t response[kFrameBufferSize];
  ReaderStatus result = Carry(exchange.channel, apdu, count, response);
  if (result != status::kOk) return result;
  // The card has carried the command out by now; only its answer is withheld.
  if (exchange.appliesCardKindRule) {
    result = cardKind.CheckCardKind();
    if (result != status::kOk) return result;
  }
  return apdu::SplitReplyText(exchange.form, ResponseData(response), text, statusText);
}

}  // namespace vqhw
