#include "apdu/reply_split.h"

#include <algorithm>
#include <array>

#include "protocol/frame.h"
#include "util/hex_codec.h"

namespace vqhw::apdu {

namespace {

void WriteHex(std::span<const uint8_t> bytes, char* text) {
  text[0] = '\0';
  BytesToHex(bytes.data(), text, static_cast<int32_t>(bytes.size()));
}

}  // namespace

ReaderStatus SplitReply(ReplyForm form, int32_t expected, std::span<const uint8_t> reply,
                        const ReplyOutputs& outputs) {
  if (reply.size() < kStatusWordSize) return status::kMalformedReply;
  const std::span<const uint8_t> data = reply.first(reply.size() - kStatusWordSize);
  if (form != ReplyForm::kStatusOnly) {
    const size_t room =
        form == ReplyForm::kFixedLength ? static_cast<size_t>(std::max(expected, 0)) : data.size();
    std::copy_n(data.begin(), std::min(room, data.size()), outputs.out);
    *outputs.outLength = static_cast<int32_t>(data.size());
  }
  std::copy(reply.end() - kStatusWordSize, reply.end(), outputs.sw);
  return status::kOk;
}

ReaderStatus SplitReplyText(TextForm form, std::span<const uint8_t> reply, char* text,
                            char* statusText) {
  text[0] = '\0';
  if (form == TextForm::kSplit) statusText[0] = '\0';
  if (reply.size() < kStatusWordSize) {
    return form == TextForm::kSplit && reply.size() == 1 ? status::kMalformedReply : status::kOk;
  }
  const std::span<const uint8_t> data = reply.first(reply.size() - kStatusWordSize);
  const std::span<const uint8_t> statusWord = reply.last(kStatusWordSize);
  switch (form) {
    case TextForm::kSplit:
      WriteHex(data, text);
      WriteHex(statusWord, statusText);
      break;
    case TextForm::kDataThenStatus:
      WriteHex(reply, text);
      break;
    case TextForm::kStatusFirst: {
      std::array<uint8_t, kFrameBufferSize> reordered;
      auto end = std::copy(statusWord.begin(), statusWord.end(), reordered.begin());
      end = std::copy(data.begin(), data.end(), end);
      WriteHex({reordered.begin(), end}, text);
      break;
    }
  }
  return status::kOk;
}

}  // namespace vqhw::apdu
