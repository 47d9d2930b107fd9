#include "apdu/catalogue_command.h"

#include <array>

#include "apdu/reply_split.h"

namespace vqhw::apdu {

ReaderStatus RunCatalogueCommand(ReaderDevice& device, uint8_t channel, const ApduLayout& layout,
                                 const ApduArguments& arguments, const ReplyOutputs& outputs) {
  std::array<uint8_t, kMaxCommandData> apdu{};
  const BuiltApdu built = BuildApdu(layout, arguments, apdu);
  if (built.status != status::kOk) return built.status;
  if (ReaderStatus refused = CheckOutputs(layout, outputs); refused != status::kOk) return refused;

  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = device.Command(channel, apdu.data(), built.length, response);
  if (result != status::kOk) return result;
  const std::span<const uint8_t> reply(response + frame::kData, response[frame::kLength]);
  return SplitReply(layout.reply, ExpectedLength(layout, arguments), reply, outputs);
}

}  // namespace vqhw::apdu
