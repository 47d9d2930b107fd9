// The telnet layer of the RFC 2217 line: what a client's bytes decode to,
// however the connection cuts them, and what goes back.

#include "sim/hosts/tcp/telnet_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace vqsim::telnet {
namespace {

using Bytes = std::vector<uint8_t>;

Event Data(Bytes bytes) { return {Event::Kind::kData, 0, 0, std::move(bytes)}; }
Event Asked(uint8_t verb, uint8_t option) { return {Event::Kind::kNegotiation, verb, option, {}}; }
Event Sub(uint8_t option, Bytes bytes) { return {Event::Kind::kSubnegotiation, 0, option, std::move(bytes)}; }
Event Command(uint8_t code) { return {Event::Kind::kCommand, code, 0, {}}; }

// Adjacent data events joined: how the data is cut is the connection's
// business, not the decoder's.
std::vector<Event> Joined(const std::vector<Event>& events) {
  std::vector<Event> joined;
  for (const Event& event : events) {
    if (event.kind == Event::Kind::kData && !joined.empty() && joined.back().kind == Event::Kind::kData) {
      joined.back().bytes.insert(joined.back().bytes.end(), event.bytes.begin(), event.bytes.end());
    } else {
      joined.push_back(event);
    }
  }
  return joined;
}

// A client's session in one piece: a frame whose bytes hold 0xFF, the com
// port negotiation, a SET-BAUDRATE whose value holds 0xFF, commands between.
const Bytes kSession{
    kIac, kWill, kComPort,                                    // WILL COM-PORT-OPTION
    0xFF, 0xFF, 0x00, 0x70,                                   // FF (doubled) 00 70
    kIac, kNop,                                               // a NOP inside the data
    0x03, 0xAA,                                               //
    kIac, kSb, kComPort, 1, 0x00, 0x01, kIac, kIac, 0x00, kIac, kSe,  // baud 0x0001FF00
    0xAA, 0xAA, 0x26,                                         //
    kIac, kDo, 24,                                            // DO TERMINAL-TYPE
    kIac, kBreak,                                             // BREAK
};
const std::vector<Event> kSessionEvents{
    Asked(kWill, kComPort),
    Data({0xFF, 0x00, 0x70}),
    Command(kNop),
    Data({0x03, 0xAA}),
    Sub(kComPort, {1, 0x00, 0x01, 0xFF, 0x00}),
    Data({0xAA, 0xAA, 0x26}),
    Asked(kDo, 24),
    Command(kBreak),
};

TEST(TelnetDecoder, CutsASessionIntoItsEventsInOrder) {
  Decoder decoder;
  EXPECT_EQ(decoder.Feed(kSession), kSessionEvents);
}

TEST(TelnetDecoder, DecodesTheSameWhereverTheConnectionCutsTheBytes) {
  for (size_t cut = 1; cut < kSession.size(); ++cut) {
    Decoder decoder;
    std::vector<Event> events = decoder.Feed(std::span(kSession).first(cut));
    const std::vector<Event> rest = decoder.Feed(std::span(kSession).subspan(cut));
    events.insert(events.end(), rest.begin(), rest.end());
    EXPECT_EQ(Joined(events), kSessionEvents) << "cut after byte " << cut;
  }
  Decoder byteByByte;
  std::vector<Event> events;
  for (const uint8_t b : kSession) {
    const std::vector<Event> more = byteByByte.Feed(std::span(&b, 1));
    events.insert(events.end(), more.begin(), more.end());
  }
  EXPECT_EQ(Joined(events), kSessionEvents) << "one byte at a time";
}

TEST(TelnetDecoder, DropsWhatNoOptionOfItsOwnWouldSend) {
  Decoder decoder;
  Bytes bytes{kIac, kSb, 99};
  bytes.insert(bytes.end(), Decoder::kLongestSubnegotiation + 1, 0x41);
  for (const uint8_t b : {kIac, kSe, uint8_t{0x11}}) bytes.push_back(b);
  EXPECT_EQ(decoder.Feed(bytes), (std::vector<Event>{Data({0x11})})) << "too long: dropped whole";

  // A command inside a subnegotiation ends it unfinished; a lone SE means nothing.
  EXPECT_EQ(decoder.Feed(Bytes{kIac, kSb, kComPort, 5, 8, kIac, kNop, 0x22, kIac, kSe, 0x33}),
            (std::vector<Event>{Command(kNop), Data({0x22, 0x33})}));
}

TEST(TelnetEncoding, DoublesEveryIacAndDecodesBackToEveryByte) {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
  const Bytes encoded = EncodeData(all);
  EXPECT_EQ(encoded.size(), 257u);
  EXPECT_EQ(std::vector(encoded.end() - 2, encoded.end()), (Bytes{kIac, kIac}));
  Decoder decoder;
  EXPECT_EQ(decoder.Feed(encoded), (std::vector<Event>{Data(all)}));

  EXPECT_EQ(Subnegotiation(kComPort, Bytes{101, 0xFF, 0x00}), (Bytes{kIac, kSb, kComPort, 101, kIac, kIac, 0x00, kIac, kSe}));
  EXPECT_EQ(Negotiation(kWont, kEcho), (Bytes{kIac, kWont, kEcho}));
}

}  // namespace
}  // namespace vqsim::telnet
