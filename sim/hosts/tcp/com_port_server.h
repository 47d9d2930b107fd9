#pragma once
// The device-server side of an RFC 2217 connection: what a serial device
// server answers a client that drives the reader's line over telnet with
// the com port option. It takes binary mode, suppressed go-ahead and the
// com port option in both directions and refuses every other option
// (echo too: a serial line echoes nothing). It acknowledges line settings
// (speed, data bits, parity, stop bits), flow control and the modem lines
// it is asked for (DTR, RTS, BREAK) with the value in effect, answers
// queries of the line and modem state, and purges on PURGE-DATA what a
// device server holds: the client's bytes not yet on the reader's line
// (its transmit buffer); the reader's bytes it sends on as they come, and
// keeps none to purge (its receive buffer: acknowledged alone). The
// reader's own line keeps its speed: the settings are kept and told, as a
// device server sets its UART, and change nothing the reader does. Once the
// com port option is agreed it tells the modem state, and again whenever
// the client sets the mask, as a device server tells a change. Pure: bytes
// in, bytes out.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/hosts/tcp/telnet_codec.h"

namespace vqsim {

class ComPortServer {
 public:
  // RFC 2217's command codes (a server answers with the code + 100).
  enum Code : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
  };
  static constexpr uint8_t kServerOffset = 100;
  static constexpr char kSignatureText[] = "vqhw-sim virtual card reader";
  // A reader that is there: carrier detect, data set ready, clear to send.
  static constexpr uint8_t kModemState = 0xB0;
  // Transmit holding and shift registers empty: the reader's line is idle.
  static constexpr uint8_t kLineState = 0x60;

  // A piece of what the client sent, in order: data for the reader, or a
  // purge of the client's bytes the reader has not taken in (PURGE-DATA 2, 3).
  struct Piece {
    std::vector<uint8_t> data;
    bool purge = false;
  };
  struct Incoming {
    std::vector<Piece> pieces;
    std::vector<uint8_t> reply;      // to send to the client at once
    std::vector<std::string> notes;  // what the client asked for, for the log
  };

  struct LineSettings {
    uint32_t baud = 115200;
    uint8_t dataSize = 8;
    uint8_t parity = 1;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
    uint8_t stopSize = 1;  // 1, 2, or 3 for 1.5
    uint8_t flowControl = 1;         // outbound: 1 none, 2 XON/XOFF, 3 hardware, 17-19 DCD, DTR, DSR
    uint8_t inboundFlowControl = 14; // 14 none, 15 XON/XOFF, 16 hardware
    bool dtr = true;
    bool rts = true;
    bool breakOn = false;
  };

  // The client's bytes as they came, in any pieces.
  Incoming Take(std::span<const uint8_t> bytes);
  // The reader's bytes as they go to the client.
  static std::vector<uint8_t> Outgoing(std::span<const uint8_t> data) { return telnet::EncodeData(data); }

  const LineSettings& Settings() const { return settings_; }

 private:
  void Negotiate(uint8_t verb, uint8_t option, Incoming& in);
  void ComPort(std::span<const uint8_t> request, Incoming& in);
  void Control(uint8_t value, Incoming& in);
  void Answer(uint8_t code, std::span<const uint8_t> value, Incoming& in) const;
  void TellModemState(Incoming& in);

  telnet::Decoder decoder_;
  std::array<bool, 256> ours_{};    // options this side does (it said WILL)
  std::array<bool, 256> theirs_{};  // options the client does (this side said DO)
  LineSettings settings_;
  uint8_t lineStateMask_ = 0;
  uint8_t modemStateMask_ = 0xFF;
  bool modemStateTold_ = false;
};

}  // namespace vqsim
