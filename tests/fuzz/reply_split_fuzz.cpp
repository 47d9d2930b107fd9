// The APDU reply splitter on any reply a response frame can carry (at most
// 245 data bytes): outputs of exactly the size callers give, on the heap, so
// a write or read past them is seen; the status word is always the reply's
// last two bytes and the data handed out is the reply's own.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "apdu/reply_split.h"
#include "fuzz_check.h"
#include "util/hex_codec.h"

namespace {

constexpr size_t kLongestReply = 245;

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vqhw::apdu;
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const int32_t expected = static_cast<int32_t>(data[1] % (kMaxExpectedLength + 1));
  const size_t replySize = std::min(size - 2, kLongestReply);
  const auto replyCopy = std::make_unique<uint8_t[]>(replySize + 1);
  std::memcpy(replyCopy.get(), data + 2, replySize);
  const std::span<const uint8_t> reply(replyCopy.get(), replySize);

  // Binary forms.
  const ReplyForm form = static_cast<ReplyForm>(mode % 3);
  const size_t outSize = form == ReplyForm::kFixedLength ? static_cast<size_t>(expected)
                                                         : std::max<size_t>(replySize, 1);
  const auto out = std::make_unique<uint8_t[]>(std::max<size_t>(outSize, 1));
  const auto outLength = std::make_unique<int32_t>(-1);
  const auto sw = std::make_unique<uint8_t[]>(2);
  const vqhw::ReaderStatus status =
      SplitReply(form, expected, reply, ReplyOutputs{out.get(), outLength.get(), sw.get()});
  if (replySize < 2) {
    FUZZ_CHECK(status == vqhw::status::kMalformedReply);
  } else {
    FUZZ_CHECK(status == vqhw::status::kOk);
    FUZZ_CHECK(sw[0] == reply[replySize - 2] && sw[1] == reply[replySize - 1]);
    if (form != ReplyForm::kStatusOnly) {
      const size_t dataSize = replySize - 2;
      FUZZ_CHECK(*outLength == static_cast<int32_t>(dataSize));
      const size_t handed = std::min(dataSize, outSize);
      FUZZ_CHECK(std::equal(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(handed), out.get()));
    }
  }

  // Text forms: a text holds two digits per reply byte and its zero byte.
  const TextForm textForm = static_cast<TextForm>((mode >> 2) % 3);
  const auto text = std::make_unique<char[]>(2 * replySize + 1);
  const auto statusText = std::make_unique<char[]>(5);
  const vqhw::ReaderStatus textStatus = SplitReplyText(textForm, reply, text.get(), statusText.get());
  if (replySize < 2) {
    FUZZ_CHECK(text[0] == '\0');
    FUZZ_CHECK((textStatus == vqhw::status::kMalformedReply) ==
               (textForm == TextForm::kSplit && replySize == 1));
    return 0;
  }
  FUZZ_CHECK(textStatus == vqhw::status::kOk);
  const std::string data_ = Hex(reply.first(replySize - 2));
  const std::string word = Hex(reply.last(2));
  switch (textForm) {
    case TextForm::kSplit:
      FUZZ_CHECK(data_ == text.get() && word == statusText.get());
      break;
    case TextForm::kDataThenStatus:
      FUZZ_CHECK(data_ + word == text.get());
      break;
    case TextForm::kStatusFirst:
      FUZZ_CHECK(word + data_ == text.get());
      break;
  }
  return 0;
}
