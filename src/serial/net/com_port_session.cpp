#include "serial/net/com_port_session.h"

#include <cstring>

namespace vqhw::net {

namespace {

using namespace telnet;

// The COM-PORT option's commands from the client; the server answers each
// with the same number plus 100.
constexpr uint8_t kSignature = 0;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerOffset = 100;

constexpr uint8_t kNoFlowControl = 1;
constexpr uint8_t kPurgeBoth = 3;
constexpr char kSignatureText[] = "VqhwLib";

// The options this side takes on when asked, and those it asks the server for.
bool PerformsOption(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}
bool WantsServerOption(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

uint8_t ParityCode(char parity) {
  switch (parity) {
    case 'O': return 2;
    case 'E': return 3;
    default: return 1;  // none
  }
}

const char* OptionName(uint8_t option) {
  switch (option) {
    case kBinary: return "BINARY";
    case kSuppressGoAhead: return "SUPPRESS-GO-AHEAD";
    case kComPort: return "COM-PORT";
    default: return nullptr;
  }
}

std::string Named(uint8_t option) {
  if (const char* name = OptionName(option)) return name;
  return "option " + std::to_string(option);
}

}  // namespace

ComPortSession::ComPortSession(std::function<void(const std::string&)> note)
    : note_(std::move(note)) {}

void ComPortSession::Ask(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
  Side& side = verb == kWill ? us_[option] : them_[option];
  if (side != Side::kNo) return;
  side = Side::kWantYes;
  AppendOption(verb, option, out);
}

void ComPortSession::AppendOffer(std::vector<uint8_t>& out) {
  Ask(kWill, kBinary, out);
  Ask(kDo, kBinary, out);
  Ask(kWill, kSuppressGoAhead, out);
  Ask(kDo, kSuppressGoAhead, out);
  Ask(kWill, kComPort, out);
}

void ComPortSession::AppendSettings(const LineSettings& s, std::vector<uint8_t>& out) {
  const auto baud = static_cast<uint32_t>(s.baud);
  const uint8_t speed[] = {kSetBaudRate, static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                           static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
  AppendSubnegotiation(kComPort, speed, out);
  const uint8_t dataSize[] = {kSetDataSize, static_cast<uint8_t>(s.dataBits)};
  AppendSubnegotiation(kComPort, dataSize, out);
  const uint8_t parity[] = {kSetParity, ParityCode(s.parity)};
  AppendSubnegotiation(kComPort, parity, out);
  const uint8_t stopSize[] = {kSetStopSize, static_cast<uint8_t>(s.stopBits)};
  AppendSubnegotiation(kComPort, stopSize, out);
  const uint8_t control[] = {kSetControl, kNoFlowControl};
  AppendSubnegotiation(kComPort, control, out);
}

void ComPortSession::AppendPurge(std::vector<uint8_t>& out) {
  const uint8_t purge[] = {kPurgeData, kPurgeBoth};
  AppendSubnegotiation(kComPort, purge, out);
}

size_t ComPortSession::Receive(const uint8_t* input, size_t count, uint8_t* data,
                               std::vector<uint8_t>& replies) {
  replies_ = &replies;
  const size_t produced = parser_.Feed(input, count, data, *this);
  replies_ = nullptr;
  return produced;
}

ComPortSession::Agreement ComPortSession::ComPort() const {
  switch (us_[kComPort]) {
    case Side::kYes: return Agreement::kAgreed;
    case Side::kWantYes: return Agreement::kAsked;
    default: return Agreement::kRefused;
  }
}

void ComPortSession::Option(uint8_t verb, uint8_t option) {
  const bool aboutUs = verb == kDo || verb == kDont;
  const bool enable = verb == kDo || verb == kWill;
  Side& side = aboutUs ? us_[option] : them_[option];
  const bool agreeable = aboutUs ? PerformsOption(option) : WantsServerOption(option);
  const uint8_t yes = aboutUs ? kWill : kDo;
  const uint8_t no = aboutUs ? kWont : kDont;
  if (enable) {
    if (side == Side::kWantYes) {
      side = Side::kYes;  // the answer to our request
    } else if (side == Side::kNo) {
      side = agreeable ? Side::kYes : Side::kNo;
      AppendOption(agreeable ? yes : no, option, *replies_);
    }
    return;
  }
  if (side == Side::kYes) AppendOption(no, option, *replies_);
  if (side != Side::kNo && (option == kBinary || option == kComPort)) {
    note_("the server refuses " + Named(option) + (aboutUs ? " from this side" : " from its side"));
  }
  side = Side::kNo;
}

void ComPortSession::Subnegotiation(uint8_t option, std::span<const uint8_t> payload) {
  if (option != kComPort || payload.empty()) return;
  ComPortAnswer(payload);
}

void ComPortSession::ComPortAnswer(std::span<const uint8_t> payload) {
  const uint8_t command = payload[0];
  const auto value = payload.subspan(1);
  switch (command) {
    case kServerOffset + kSignature:
      if (value.empty()) {
        // The server asks who this is.
        std::vector<uint8_t> signature{kSignature};
        signature.insert(signature.end(), kSignatureText, kSignatureText + std::strlen(kSignatureText));
        AppendSubnegotiation(kComPort, signature, *replies_);
      } else if (!signatureSeen_) {
        signatureSeen_ = true;
        std::string text;
        for (uint8_t c : value) text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        note_("the server is \"" + text + "\"");
      }
      break;
    case kServerOffset + kSetBaudRate:
      if (value.size() == 4) {
        answers_.baud = uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3];
      }
      break;
    case kServerOffset + kSetDataSize:
      if (value.size() == 1) answers_.dataSize = value[0];
      break;
    case kServerOffset + kSetParity:
      if (value.size() == 1) answers_.parity = value[0];
      break;
    case kServerOffset + kSetStopSize:
      if (value.size() == 1) answers_.stopSize = value[0];
      break;
    case kServerOffset + kSetControl:
      if (value.size() == 1) answers_.control = value[0];
      break;
    default:
      // Line and modem state notices, flow-control notices, the answers to
      // purges and masks: nothing here depends on them.
      break;
  }
}

ComPortSession::SettingsAnswer ComPortSession::AnswerTo(const LineSettings& asked,
                                                        std::string& why) const {
  const Answers& a = answers_;
  if (!a.baud || !a.dataSize || !a.parity || !a.stopSize || !a.control) return SettingsAnswer::kWaiting;
  auto differs = [&](const char* what, long wanted, long answered) {
    why = std::string(what) + ": asked for " + std::to_string(wanted) + ", the server answered " +
          std::to_string(answered);
    return SettingsAnswer::kDiffers;
  };
  if (*a.baud != static_cast<uint32_t>(asked.baud)) return differs("speed", asked.baud, *a.baud);
  if (*a.dataSize != asked.dataBits) return differs("data bits", asked.dataBits, *a.dataSize);
  if (*a.parity != ParityCode(asked.parity)) return differs("parity code", ParityCode(asked.parity), *a.parity);
  if (*a.stopSize != asked.stopBits) return differs("stop bits", asked.stopBits, *a.stopSize);
  if (*a.control != kNoFlowControl) return differs("flow control code", kNoFlowControl, *a.control);
  return SettingsAnswer::kAgreed;
}

void ComPortSession::ForgetAnswers() { answers_ = Answers{}; }

}  // namespace vqhw::net
