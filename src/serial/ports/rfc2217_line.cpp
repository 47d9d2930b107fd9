// rfc2217://: telnet with the COM-PORT option. On a fresh connection the
// port offers BINARY, SUPPRESS-GO-AHEAD and COM-PORT, waits (bounded) for the
// server to agree to COM-PORT, asks for the line settings and checks the
// answers; a setting the server answers otherwise fails the open, answers
// that never come are noted and the port goes on. No modem-line command is
// ever sent: the reader needs none, and some device servers drop a client
// that drives lines a device does not have.

#include <algorithm>
#include <string>

#include "serial/net/com_port_session.h"
#include "serial/ports/line_protocol.h"
#include "util/trace.h"

namespace vqhw {

namespace {

// How long the server may take to agree to COM-PORT and to answer the settings.
constexpr std::chrono::milliseconds kNegotiationBound{1000};

void Note(const std::string& line) { trace::Note(("rfc2217: " + line).c_str()); }

class Rfc2217Line final : public LineProtocol {
 public:
  Rfc2217Line() : session_(Note) {}

  ReaderStatus Start(net::TcpSocket& socket, const LineSettings& settings,
                     net::Clock::time_point deadline) override {
    deadline = std::min(deadline, net::Clock::now() + kNegotiationBound);
    std::vector<uint8_t> out;
    session_.AppendOffer(out);
    if (socket.Send(out.data(), out.size(), deadline) != status::kOk) return status::kCannotOpen;
    using Agreement = net::ComPortSession::Agreement;
    if (!Await(socket, deadline, [&] { return session_.ComPort() != Agreement::kAsked; })) {
      Note("no answer to the COM-PORT option in time: no telnet device server there?");
      return status::kCannotOpen;
    }
    if (session_.ComPort() == Agreement::kRefused) {
      Note("the server refuses the COM-PORT option");
      return status::kCannotOpen;
    }
    out.clear();
    session_.ForgetAnswers();
    net::ComPortSession::AppendSettings(settings, out);
    if (socket.Send(out.data(), out.size(), deadline) != status::kOk) return status::kCannotOpen;
    std::string why;
    Await(socket, deadline,
          [&] { return session_.AnswerTo(settings, why) != net::ComPortSession::SettingsAnswer::kWaiting; });
    switch (session_.AnswerTo(settings, why)) {
      case net::ComPortSession::SettingsAnswer::kAgreed:
        Note("line settings agreed: " + SettingsText(settings));
        break;
      case net::ComPortSession::SettingsAnswer::kDiffers:
        Note("the server refuses the line settings, " + why);
        return status::kSettingsRejected;
      case net::ComPortSession::SettingsAnswer::kWaiting:
        Note("not every line setting was answered in time; going on with " + SettingsText(settings));
        break;
    }
    return status::kOk;
  }

  void Encode(std::span<const uint8_t> data, bool purgeFirst, std::vector<uint8_t>& out) override {
    if (purgeFirst) net::ComPortSession::AppendPurge(out);
    net::telnet::AppendEscaped(data, out);
  }

  void EncodeSettings(const LineSettings& settings, std::vector<uint8_t>& out) override {
    net::ComPortSession::AppendSettings(settings, out);
  }

  size_t Decode(const uint8_t* input, size_t count, uint8_t* data,
                std::vector<uint8_t>& replies) override {
    return session_.Receive(input, count, data, replies);
  }

 private:
  static std::string SettingsText(const LineSettings& s) {
    char text[64];
    return FormatSettingsText(s, text, sizeof text) ? text : "";
  }

  // Reads the server's bytes (the reader's are dropped: nothing was asked
  // of it yet) and sends what the session owes, until `done` or `deadline`.
  template <class Done>
  bool Await(net::TcpSocket& socket, net::Clock::time_point deadline, Done done) {
    uint8_t input[256];
    uint8_t data[sizeof input];
    std::vector<uint8_t> replies;
    while (!done()) {
      size_t count = 0;
      if (socket.Receive(input, sizeof input, count, nullptr, deadline) != net::TcpSocket::Received::kData) {
        return false;
      }
      replies.clear();
      session_.Receive(input, count, data, replies);
      if (!replies.empty() && socket.Send(replies.data(), replies.size(), deadline) != status::kOk) return false;
    }
    return true;
  }

  net::ComPortSession session_;
};

}  // namespace

std::unique_ptr<LineProtocol> MakeRfc2217Line() { return std::make_unique<Rfc2217Line>(); }

}  // namespace vqhw
