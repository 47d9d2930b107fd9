#pragma once
// Splitting a card's response APDU (response data, then SW1 SW2) into a
// caller's outputs, in the binary forms of the catalogues and the text forms
// of the hex exchanges. Pure: no I/O, no reader state.
//
// The status word is always the last two bytes of the reply, so a card that
// answers fewer (or more) data bytes than a command expects still gives its
// true status word and no byte from outside its reply is handed out.

#include <cstddef>
#include <cstdint>
#include <span>

#include "apdu/apdu_layout.h"

namespace vqhw::apdu {

// SW1 SW2, the last two bytes of every card reply.
inline constexpr size_t kStatusWordSize = 2;

// S: sw only. V: every data byte to out. F(n): at most `expected` data bytes
// to out, since out is sized for them. outLength is the number of data bytes
// the card sent. A reply without a status word (fewer than two bytes) is
// kMalformedReply and nothing is written.
ReaderStatus SplitReply(ReplyForm form, int32_t expected, std::span<const uint8_t> reply,
                        const ReplyOutputs& outputs);

enum class TextForm : uint8_t {
  kStatusFirst,     // one text: SW1 SW2, then the response data
  kSplit,           // the response data in `text`, SW1 SW2 as four digits in `statusText`
  kDataThenStatus,  // one text: the response data, then SW1 SW2
};

// Writes the hex texts of `reply` by `form`; a text not filled is left empty
// (statusText is used only by kSplit). An empty reply gives empty texts; a
// reply of one byte gives empty texts too, and in the split form, which
// would have to take a byte from outside the reply, kMalformedReply.
ReaderStatus SplitReplyText(TextForm form, std::span<const uint8_t> reply, char* text,
                            char* statusText);

}  // namespace vqhw::apdu
