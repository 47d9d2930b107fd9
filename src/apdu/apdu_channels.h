#pragma once
// The two APDU channels: 0x60 carries a command APDU to the CPU user card,
// 0x61 to the PSAM, and each brings the card's response APDU back. Over
// them run the hex text exchanges (the table in hex_exchanges.h) and the
// binary command catalogues (user_card_catalogue.h, psam_catalogue.h): one
// function runs any row of either table with the caller's arguments. The
// card's status word is handed out, never acted on.

#include <cstdint>

#include "apdu/apdu_layout.h"
#include "apdu/hex_exchanges.h"
#include "base/reader_status.h"
#include "protocol/card_kind_rule.h"
#include "protocol/reader_link.h"

namespace vqhw {

class ApduChannels {
 public:
  ApduChannels(ReaderLink& readerLink, CardKindRule& rule) : link(readerLink), cardKind(rule) {}

  // Decodes the APDU text and runs one transaction on `command`; the status
  // byte is not looked at. An APDU text that does not decode whole is
  // refused (kArgument2), as is a missing response buffer (kArgument3).
  ReaderStatus TransactHex(uint8_t command, const char* apduText, uint8_t* response);

  // One hex text exchange by `exchange`: kNotOpen on a closed reader with
  // the outputs untouched; then the APDU text (kArgument1), the text
  // (kArgument2) and, for the split form, the status word text (kArgument3)
  // are checked, the first four bytes of each output cleared, the APDU
  // sent, the status-byte rule and, where the row says so, the card-kind
  // rule applied, and the reply written in the row's form. A reply text
  // needs 2 x reply length + 1 characters, a status word text 5.
  ReaderStatus Exchange(const apdu::HexExchange& exchange, const char* apduText, char* text,
                        char* statusText = nullptr);

  // One catalogue command: builds its APDU from the row and the arguments
  // (a refused argument gives the status of its position in the command's
  // argument order), checks the outputs the row needs, runs the command
  // with the status-byte rule and splits the answer. Refusals and failed
  // commands leave every output unwritten.
  ReaderStatus Run(const apdu::CatalogueCommand& command, const apdu::ApduArguments& arguments,
                   const apdu::ReplyOutputs& outputs);

  // Copies the last command frame (which 0) or response frame (which 1)
  // with the zero bytes behind it, at most 256 bytes in all; returns the
  // frame's length plus one, or -1 for another `which`.
  int32_t CopyLastFrame(int32_t which, uint8_t* out) const;

 private:
  // One APDU on `channel` with the status-byte rule. A response APDU ends
  // in its status word: a success answer without the two bytes is
  // kMalformedReply.
  ReaderStatus Carry(uint8_t channel, const uint8_t* apdu, int32_t count, uint8_t* response);

  ReaderLink& link;
  CardKindRule& cardKind;
};

namespace apdu {
// What CopyLastFrame does for one frame buffer of 256 bytes.
int32_t CopyFrame(const uint8_t* buffer, uint8_t* out);
}  // namespace apdu

}  // namespace vqhw
