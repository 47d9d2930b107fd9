#pragma once
// The client's side of a telnet session with the COM-PORT option: what it
// offers when it connects, how it answers the options the server proposes
// (each at most once per change, so that two sides can never loop), the
// line settings and purges it asks for, and what the server answered.
// No I/O: the network port sends what this appends and feeds it what comes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/line_settings.h"
#include "serial/net/telnet.h"

namespace vqhw::net {

class ComPortSession : private telnet::Parser::Events {
 public:
  // `note` gets one line for the trace for what the server does or refuses.
  explicit ComPortSession(std::function<void(const std::string&)> note);

  // BINARY both ways, SUPPRESS-GO-AHEAD both ways, and the COM-PORT option.
  void AppendOffer(std::vector<uint8_t>& out);
  // The five settings: speed, data bits, parity, stop bits, no flow control.
  static void AppendSettings(const LineSettings& settings, std::vector<uint8_t>& out);
  // Asks the server to drop what it holds in both directions.
  static void AppendPurge(std::vector<uint8_t>& out);

  // Takes `count` bytes from the server: data bytes go to `data` (room for
  // `count`), their number is returned; answers to send go to `replies`.
  size_t Receive(const uint8_t* input, size_t count, uint8_t* data, std::vector<uint8_t>& replies);

  enum class Agreement { kAsked, kAgreed, kRefused };
  Agreement ComPort() const;

  enum class SettingsAnswer { kWaiting, kAgreed, kDiffers };
  // What the server has answered so far to the settings asked for; on
  // kDiffers, `why` names the setting and both values.
  SettingsAnswer AnswerTo(const LineSettings& asked, std::string& why) const;
  // Forgets the answers, before the settings are asked for anew.
  void ForgetAnswers();

 private:
  // The negotiation state of one side of one option (RFC 1143, without the
  // queue: this side never changes its mind while a request is out).
  enum class Side : uint8_t { kNo, kYes, kWantYes };

  void Option(uint8_t verb, uint8_t option) override;
  void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override;
  void ComPortAnswer(std::span<const uint8_t> payload);
  void Ask(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);

  struct Answers {
    std::optional<uint32_t> baud;
    std::optional<uint8_t> dataSize, parity, stopSize, control;
  };

  std::function<void(const std::string&)> note_;
  telnet::Parser parser_;
  Side us_[256] = {};    // options this side performs (WILL / DO from the server)
  Side them_[256] = {};  // options the server performs (DO / WILL from here)
  std::vector<uint8_t>* replies_ = nullptr;  // during Receive
  Answers answers_;
  bool signatureSeen_ = false;
};

}  // namespace vqhw::net
