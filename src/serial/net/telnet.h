#pragma once
// Telnet's byte layer: commands start with IAC (0xFF), so a data byte 0xFF
// travels doubled; options are negotiated with WILL, WONT, DO and DONT and
// carry their parameters between IAC SB and IAC SE. The parser takes bytes
// one at a time, so a command or a doubled IAC split across two reads of the
// connection is taken whole.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vqhw::net::telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// Appends `data` with every 0xFF doubled.
void AppendEscaped(std::span<const uint8_t> data, std::vector<uint8_t>& out);
// Appends IAC verb option.
void AppendOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);
// Appends IAC SB option payload IAC SE, the payload escaped.
void AppendSubnegotiation(uint8_t option, std::span<const uint8_t> payload, std::vector<uint8_t>& out);

class Parser {
 public:
  // The longest subnegotiation taken; one that runs on is given up, and what
  // follows is data again, so that a peer that never ends one cannot stall
  // the line for good.
  static constexpr size_t kMaxSubnegotiation = 255;

  struct Events {
    virtual void Option(uint8_t verb, uint8_t option) = 0;
    virtual void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) = 0;

   protected:
    ~Events() = default;
  };

  // Takes `count` bytes from the peer, writes their data bytes to `data`
  // (room for `count` bytes) and returns how many; commands go to `events`.
  size_t Feed(const uint8_t* input, size_t count, uint8_t* data, Events& events);

 private:
  // The byte after an IAC: true when it is a data byte (a doubled IAC).
  bool AfterIac(uint8_t b);
  void KeepSubnegotiationByte(uint8_t b);

  enum class State { kData, kAfterIac, kOption, kSbOption, kSbData, kSbAfterIac };
  State state_ = State::kData;
  uint8_t verb_ = 0;
  uint8_t sbOption_ = 0;
  size_t sbLength_ = 0;
  std::array<uint8_t, kMaxSubnegotiation> sb_{};
};

}  // namespace vqhw::net::telnet
