// One APDU on a channel, and one catalogue command on its channel: build
// the APDU from its row, run the command with the status-byte rule, split
// the answer.

#include <array>

#include "apdu/apdu_channels.h"
#include "apdu/reply_split.h"
#include "protocol/frame.h"

namespace vqhw {

ReaderStatus ApduChannels::Carry(uint8_t channel, const uint8_t* apdu, int32_t count,
                                 uint8_t* response) {
  return link.Command(channel, apdu, count, response, apdu::kStatusWordSize);
}

ReaderStatus ApduChannels::Run(const apdu::CatalogueCommand& command,
                               const apdu::ApduArguments& arguments,
                               const apdu::ReplyOutputs& outputs) {
  const apdu::ApduLayout& layout = command.layout;
  std::array<uint8_t, kMaxCommandData> apdu{};
  const apdu::BuiltApdu built = apdu::BuildApdu(layout, arguments, apdu);
  if (built.status != status::kOk) return built.status;
  if (ReaderStatus refused = apdu::CheckOutputs(layout, outputs)) return refused;

  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Carry(command.channel, apdu.data(), built.length, response);
  if (result != status::kOk) return result;
  return apdu::SplitReply(layout.reply, apdu::ExpectedLength(layout, arguments),
                          ResponseData(response), outputs);
}

}  // namespace vqhw
