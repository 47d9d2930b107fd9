#pragma once
// The telnet layer of an RFC 2217 line, as bytes: the decoder cuts what a
// client sends into data, option negotiations, subnegotiations and other
// commands, in order, whatever pieces the bytes come in; the encoders
// build what goes back. 0xFF (IAC) in data travels doubled. Pure: no I/O.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vqsim::telnet {

inline constexpr uint8_t kSe = 240;    // end of a subnegotiation
inline constexpr uint8_t kNop = 241;
inline constexpr uint8_t kBreak = 243;
inline constexpr uint8_t kAreYouThere = 246;
inline constexpr uint8_t kSb = 250;    // start of a subnegotiation
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kIac = 255;   // interpret as command

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kEcho = 1;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// One thing the client sent.
struct Event {
  enum class Kind {
    kData,            // `bytes`: the data, undoubled
    kNegotiation,     // `code` WILL, WONT, DO or DONT of `option`
    kSubnegotiation,  // `option` and its `bytes`, undoubled
    kCommand,         // `code`: another command (NOP, BREAK, ARE YOU THERE...)
  };
  Kind kind = Kind::kData;
  uint8_t code = 0;
  uint8_t option = 0;
  std::vector<uint8_t> bytes;

  bool operator==(const Event&) const = default;
};

class Decoder {
 public:
  // A subnegotiation of the com port option takes a few bytes; a longer
  // one is no option this side knows, and is dropped whole rather than
  // kept growing.
  static constexpr size_t kLongestSubnegotiation = 64;

  // The client's bytes, in the pieces they came in; returns what they
  // complete, in order. Data before a command and after it are two events.
  std::vector<Event> Feed(std::span<const uint8_t> bytes);

 private:
  enum class State { kData, kCommand, kOption, kSubOption, kSubData, kSubCommand };

  void Command(uint8_t code, std::vector<Event>& events);
  void FlushData(std::vector<Event>& events);

  State state_ = State::kData;
  uint8_t verb_ = 0;
  std::vector<uint8_t> data_;
  Event sub_;
  bool subTooLong_ = false;
};

// Data with every 0xFF doubled.
std::vector<uint8_t> EncodeData(std::span<const uint8_t> data);
// IAC verb option.
std::vector<uint8_t> Negotiation(uint8_t verb, uint8_t option);
// IAC SB option payload IAC SE, 0xFF in the payload doubled.
std::vector<uint8_t> Subnegotiation(uint8_t option, std::span<const uint8_t> payload);

}  // namespace vqsim::telnet
