// apdu pro | apdu sam: APDUs to the CPU user card or the PSAM, each answer
// with its status word and the status word's text.

#include <memory>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "vqhw/commands.h"
#include "vqhw/reader_calls.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

// The library reads at most 255 characters of a hex text: 127 bytes.
constexpr size_t kLongestApdu = 127;
constexpr size_t kShortestApdu = 4;  // CLA INS P1 P2

enum class Channel { kUserCard, kPsam };

struct ApduOptions {
  std::vector<std::string> apdus;
};

// The card ready for APDUs: the CPU card activated and reset, or the PSAM reset.
CallResult PrepareChannel(Channel channel) {
  if (channel == Channel::kPsam) return Checked("SAM_reset_h", SAM_reset_h());
  unsigned char record[8] = {};
  if (CallResult activated = Checked("opencard", opencard(record)); !activated.Ok()) return activated;
  return Checked("PRO_reset_h", PRO_reset_h());
}

CallResult Exchange(Channel channel, const std::string& apdu, std::string& data, std::string& statusWord) {
  char dataText[2 * 256 + 8] = {};
  char swText[8] = {};
  const int32_t result = channel == Channel::kUserCard ? PRO_COMMAND_H(apdu.c_str(), dataText, swText)
                                                       : SAM_COMMAND_H(apdu.c_str(), dataText, swText);
  data = dataText;
  statusWord = swText;
  return Checked(channel == Channel::kUserCard ? "PRO_COMMAND_H" : "SAM_COMMAND_H", result);
}

int RunApdu(Context& context, Channel channel, const ApduOptions& options) {
  std::vector<std::string> apdus;
  for (const std::string& text : options.apdus) {
    const auto bytes = vqshared::DecodeHex(text);
    if (!bytes || bytes->size() < kShortestApdu || bytes->size() > kLongestApdu) {
      return context.out.UsageError("an APDU is 4 to 127 bytes of hex, not \"" + text + "\"");
    }
    apdus.push_back(CompactHex(*bytes));
  }
  OpenReader reader(context.port);
  if (!reader.Opened().Ok()) return Report(context.out, reader.Opened());
  if (const CallResult ready = PrepareChannel(channel); !ready.Ok()) return Report(context.out, ready);
  for (const std::string& apdu : apdus) {
    std::string data, statusWord;
    if (const CallResult exchanged = Exchange(channel, apdu, data, statusWord); !exchanged.Ok()) {
      return Report(context.out, exchanged);
    }
    const auto sw = vqshared::DecodeHex(statusWord);
    const std::string swText =
        sw && sw->size() == 2 ? StatusWordText(static_cast<uint16_t>((*sw)[0] << 8 | (*sw)[1])) : "no status word";
    context.out.Entry("exchanges",
                      {{"apdu", apdu}, {"data", data}, {"sw", statusWord}, {"sw_text", swText}},
                      "> " + apdu + "\n< " + (data.empty() ? "" : data + " ") + statusWord + "  " + swText);
  }
  return 0;
}

}  // namespace

void AddApduCommands(CLI::App& parent, CommandRegistry& registry) {
  CLI::App* apdu = parent.add_subcommand("apdu", "APDUs to the CPU user card (pro) or the PSAM (sam)");
  apdu->require_subcommand(1);
  for (const auto& [name, channel, description] :
       {std::tuple{"pro", Channel::kUserCard, "activate the CPU card in the field and send it APDUs"},
        std::tuple{"sam", Channel::kPsam, "reset the PSAM and send it APDUs"}}) {
    auto options = std::make_shared<ApduOptions>();
    const Channel kind = channel;  // clang 14 cannot capture a structured binding
    CLI::App* command = registry.Add(*apdu, name, description, [options, kind](Context& context) {
      return RunApdu(context, kind, *options);
    });
    command->add_option("apdus", options->apdus, "one or more APDUs in hex, sent in order")->required();
  }
}

}  // namespace vqtool
