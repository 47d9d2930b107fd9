// The telnet byte layer and the COM-PORT client session: exact bytes of
// every request, the answers to what a server proposes, and the same result
// however the server's bytes are split across reads.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "serial/net/com_port_session.h"
#include "serial/net/telnet.h"

namespace vqhw::net {
namespace {

using Bytes = std::vector<uint8_t>;

struct Recorded : telnet::Parser::Events {
  void Option(uint8_t verb, uint8_t option) override { events.push_back({verb, option}); }
  void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
    Bytes event{telnet::kSb, option};
    event.insert(event.end(), payload.begin(), payload.end());
    events.push_back(event);
  }
  std::vector<Bytes> events;
};

struct Parsed {
  Bytes data;
  std::vector<Bytes> events;
  bool operator==(const Parsed&) const = default;
};

void PrintTo(const Parsed& parsed, std::ostream* out) {
  *out << "data";
  for (uint8_t b : parsed.data) *out << ' ' << std::hex << int{b};
  for (const Bytes& event : parsed.events) {
    *out << " | event";
    for (uint8_t b : event) *out << ' ' << std::hex << int{b};
  }
}

// Feeds `stream` in pieces that end at each of `cuts`.
Parsed Parse(const Bytes& stream, const std::vector<size_t>& cuts = {}) {
  telnet::Parser parser;
  Recorded recorded;
  Parsed parsed;
  size_t from = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(stream.size());
  for (size_t to : ends) {
    Bytes data(to - from);
    const size_t produced = parser.Feed(stream.data() + from, to - from, data.data(), recorded);
    parsed.data.insert(parsed.data.end(), data.begin(), data.begin() + static_cast<long>(produced));
    from = to;
  }
  parsed.events = recorded.events;
  return parsed;
}

// A frame full of 0xFF between a negotiation and a subnegotiation that
// holds a doubled IAC itself, after an IAC that starts no command.
const Bytes kStream{0xFF, 0x07, 0xFF, 0xFF, 0xFF, 0xFB, 0x03, 0xFF, 0xFF, 0x00, 0x01, 0xFF, 0xFA, 0x2C,
                    0x65, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0x02, 0xFF, 0xF1, 0x03};
const Parsed kExpected{{0xFF, 0xFF, 0x00, 0x01, 0xFF, 0x02, 0x03},
                       {{0xFB, 0x03}, {0xFA, 0x2C, 0x65, 0x00, 0x00, 0xFF}}};

TEST(TelnetParser, TakesDataAndCommandsWhole) { EXPECT_EQ(Parse(kStream), kExpected); }

TEST(TelnetParser, GivesTheSameWhereverTheReadsSplitTheStream) {
  for (size_t cut = 1; cut < kStream.size(); ++cut) EXPECT_EQ(Parse(kStream, {cut}), kExpected) << cut;
  std::vector<size_t> everyByte;
  for (size_t cut = 1; cut < kStream.size(); ++cut) everyByte.push_back(cut);
  EXPECT_EQ(Parse(kStream, everyByte), kExpected);
}

TEST(TelnetParser, EscapedDataComesBackAsItWas) {
  Bytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
  Bytes escaped;
  telnet::AppendEscaped(all, escaped);
  EXPECT_EQ(escaped.size(), 257u);
  EXPECT_EQ(Parse(escaped), (Parsed{all, {}}));
}

TEST(TelnetParser, ASubnegotiationThatNeverEndsGivesWayToData) {
  Bytes stream{0xFF, 0xFA, 0x2C};
  stream.insert(stream.end(), telnet::Parser::kMaxSubnegotiation + 1, 0x55);
  stream.insert(stream.end(), {0xFF, 0xFF, 0x00, 0x70});
  const Parsed parsed = Parse(stream);
  EXPECT_TRUE(parsed.events.empty());
  EXPECT_EQ(parsed.data, (Bytes{0xFF, 0x00, 0x70})) << "the bytes after the runaway are data again";
}

TEST(TelnetParser, ACommandInsideASubnegotiationEndsIt) {
  const Parsed parsed = Parse({0xFF, 0xFA, 0x2C, 0x65, 0xFF, 0xFD, 0x00, 0x41});
  EXPECT_EQ(parsed.events, (std::vector<Bytes>{{0xFD, 0x00}}));
  EXPECT_EQ(parsed.data, (Bytes{0x41}));
}

class ComPortSessionTest : public ::testing::Test {
 protected:
  ComPortSessionTest() : session_([this](const std::string& line) { notes_.push_back(line); }) {}

  // What the session answers to `fromServer`; its data bytes go to data_.
  Bytes Answer(const Bytes& fromServer) {
    Bytes replies;
    Bytes data(fromServer.size());
    data.resize(session_.Receive(fromServer.data(), fromServer.size(), data.data(), replies));
    data_.insert(data_.end(), data.begin(), data.end());
    return replies;
  }

  void Offer() {
    Bytes offer;
    session_.AppendOffer(offer);
    ASSERT_EQ(offer, (Bytes{0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x2C}));
  }

  ComPortSession session_;
  std::vector<std::string> notes_;
  Bytes data_;
};

TEST_F(ComPortSessionTest, TheServersAgreementIsNotAnsweredAgain) {
  Offer();
  EXPECT_EQ(Answer({0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x2C}),
            Bytes{});
  EXPECT_EQ(session_.ComPort(), ComPortSession::Agreement::kAgreed);
  EXPECT_EQ(Answer({0xFF, 0xFD, 0x2C}), Bytes{}) << "an option already on is not agreed to twice";
}

TEST_F(ComPortSessionTest, RefusesWhatItDoesNotKnowAndNeverAnswersARefusal) {
  Offer();
  EXPECT_EQ(Answer({0xFF, 0xFD, 0x18, 0xFF, 0xFB, 0x01, 0xFF, 0xFB, 0xC8}),
            (Bytes{0xFF, 0xFC, 0x18, 0xFF, 0xFE, 0x01, 0xFF, 0xFE, 0xC8}))
      << "terminal type, echo and an option no one knows are refused";
  EXPECT_EQ(Answer({0xFF, 0xFE, 0x18, 0xFF, 0xFC, 0x01}), Bytes{}) << "refusing twice would loop";
  EXPECT_EQ(Answer({0xFF, 0xFD, 0x2C, 0xFF, 0xFE, 0x2C}), (Bytes{0xFF, 0xFC, 0x2C}))
      << "an option agreed and then withdrawn is let go of";
  EXPECT_EQ(session_.ComPort(), ComPortSession::Agreement::kRefused);
  ASSERT_FALSE(notes_.empty());
  EXPECT_NE(notes_.back().find("COM-PORT"), std::string::npos);
}

TEST_F(ComPortSessionTest, ARefusedComPortOptionIsTold) {
  Offer();
  EXPECT_EQ(Answer({0xFF, 0xFE, 0x2C}), Bytes{});
  EXPECT_EQ(session_.ComPort(), ComPortSession::Agreement::kRefused);
}

TEST_F(ComPortSessionTest, AsksForTheLineSettingsAndChecksTheAnswers) {
  Bytes request;
  ComPortSession::AppendSettings(LineSettings{}, request);
  EXPECT_EQ(request, (Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0,  // 115200
                            0xFF, 0xFA, 0x2C, 0x02, 0x08, 0xFF, 0xF0,                    // 8 data bits
                            0xFF, 0xFA, 0x2C, 0x03, 0x01, 0xFF, 0xF0,                    // no parity
                            0xFF, 0xFA, 0x2C, 0x04, 0x01, 0xFF, 0xF0,                    // 1 stop bit
                            0xFF, 0xFA, 0x2C, 0x05, 0x01, 0xFF, 0xF0}));                 // no flow control
  std::string why;
  EXPECT_EQ(session_.AnswerTo(LineSettings{}, why), ComPortSession::SettingsAnswer::kWaiting);
  Answer({0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x66, 0x08, 0xFF, 0xF0,
          0xFF, 0xFA, 0x2C, 0x67, 0x01, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x68, 0x01});
  EXPECT_EQ(session_.AnswerTo(LineSettings{}, why), ComPortSession::SettingsAnswer::kWaiting)
      << "the stop bits' answer is not finished, flow control not answered";
  Answer({0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x69, 0x01, 0xFF, 0xF0});
  EXPECT_EQ(session_.AnswerTo(LineSettings{}, why), ComPortSession::SettingsAnswer::kAgreed);
  Answer({0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0});
  EXPECT_EQ(session_.AnswerTo(LineSettings{}, why), ComPortSession::SettingsAnswer::kDiffers);
  EXPECT_NE(why.find("9600"), std::string::npos) << why;
  EXPECT_TRUE(data_.empty());
}

TEST_F(ComPortSessionTest, ASpeedWithA0xFFByteTravelsDoubled) {
  Bytes request;
  ComPortSession::AppendSettings(LineSettings{0x0001C2FF, 'E', 7, 2}, request);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 11),
            (Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xC2, 0xFF, 0xFF, 0xFF, 0xF0}));
  Answer({0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x01, 0xC2, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x66, 0x07,
          0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x67, 0x03, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x68, 0x02, 0xFF, 0xF0,
          0xFF, 0xFA, 0x2C, 0x69, 0x01, 0xFF, 0xF0});
  std::string why;
  EXPECT_EQ(session_.AnswerTo(LineSettings{0x0001C2FF, 'E', 7, 2}, why), ComPortSession::SettingsAnswer::kAgreed)
      << why;
}

TEST_F(ComPortSessionTest, PurgesBothWaysAndTellsWhoItIsWhenAsked) {
  Bytes purge;
  ComPortSession::AppendPurge(purge);
  EXPECT_EQ(purge, (Bytes{0xFF, 0xFA, 0x2C, 0x0C, 0x03, 0xFF, 0xF0}));
  EXPECT_EQ(Answer({0xFF, 0xFA, 0x2C, 0x64, 0xFF, 0xF0}),
            (Bytes{0xFF, 0xFA, 0x2C, 0x00, 'V', 'q', 'h', 'w', 'L', 'i', 'b', 0xFF, 0xF0}));
  EXPECT_EQ(Answer({0xFF, 0xFA, 0x2C, 0x64, 's', 'e', 'r', 0x01, 0xFF, 0xF0}), Bytes{});
  ASSERT_FALSE(notes_.empty());
  EXPECT_EQ(notes_.back(), "the server is \"ser?\"");
  EXPECT_EQ(Answer({0xFF, 0xFA, 0x2C, 0x6C, 0x03, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x6B, 0x30, 0xFF, 0xF0}), Bytes{})
      << "the purge's answer and a modem-state notice need no answer";
}

}  // namespace
}  // namespace vqhw::net
