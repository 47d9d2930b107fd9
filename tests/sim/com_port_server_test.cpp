// The device-server side of an RFC 2217 line, byte for byte: what it
// answers a client's negotiation, line settings and modem-line requests,
// and what it hands the reader.

#include "sim/hosts/tcp/com_port_server.h"

#include <gtest/gtest.h>

#include <vector>

namespace vqsim {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace telnet;

constexpr uint8_t kServer = ComPortServer::kServerOffset;

// IAC SB COM-PORT-OPTION payload IAC SE, as the client sends it.
Bytes ComPort(Bytes payload) { return Subnegotiation(kComPort, payload); }
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(ComPortServer, AgreesToTheComPortOptionOnceAndRefusesWhatASerialLineCannotDo) {
  ComPortServer server;
  // What a client opens with: the com port option both ways, binary mode,
  // suppressed go-ahead, and echo, which a serial line never does.
  const auto opened = server.Take(Join({Negotiation(kWill, kComPort), Negotiation(kDo, kComPort),
                                        Negotiation(kDo, kEcho), Negotiation(kWill, kSuppressGoAhead),
                                        Negotiation(kDo, kBinary)}));
  const Bytes modemState = ComPort({kServer + ComPortServer::kNotifyModemState, ComPortServer::kModemState});
  EXPECT_EQ(opened.reply, Join({Negotiation(kDo, kComPort), modemState, Negotiation(kWill, kComPort),
                                Negotiation(kWont, kEcho), Negotiation(kDo, kSuppressGoAhead),
                                Negotiation(kWill, kBinary)}));
  EXPECT_TRUE(opened.pieces.empty());

  // Asked again, an agreed option is not answered again (no endless
  // answering of answers); an unknown one is refused every time.
  EXPECT_EQ(server.Take(Join({Negotiation(kWill, kComPort), Negotiation(kDo, kBinary)})).reply, Bytes{});
  const Bytes unknown = Join({Negotiation(kDo, 24), Negotiation(kWill, 31)});
  EXPECT_EQ(server.Take(unknown).reply, Join({Negotiation(kWont, 24), Negotiation(kDont, 31)}));
  EXPECT_EQ(server.Take(unknown).reply, Join({Negotiation(kWont, 24), Negotiation(kDont, 31)}));
  // Switched off: acknowledged once; off again: nothing.
  EXPECT_EQ(server.Take(Negotiation(kDont, kBinary)).reply, Negotiation(kWont, kBinary));
  EXPECT_EQ(server.Take(Negotiation(kDont, kBinary)).reply, Bytes{});
}

TEST(ComPortServer, AcknowledgesLineSettingsWithTheValueInEffect) {
  ComPortServer server;
  const Bytes baud9600{0x00, 0x00, 0x25, 0x80};
  EXPECT_EQ(server.Take(ComPort(Join({{ComPortServer::kSetBaudRate}, baud9600}))).reply,
            ComPort(Join({{kServer + ComPortServer::kSetBaudRate}, baud9600})));
  EXPECT_EQ(server.Settings().baud, 9600u);
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetBaudRate, 0, 0, 0, 0})).reply,
            ComPort(Join({{kServer + ComPortServer::kSetBaudRate}, baud9600})))
      << "0 asks for the speed in effect";
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetDataSize, 7})).reply,
            ComPort({kServer + ComPortServer::kSetDataSize, 7}));
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetDataSize, 9})).reply,
            ComPort({kServer + ComPortServer::kSetDataSize, 7}))
      << "a size no UART has: the one in effect";
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetParity, 3})).reply,
            ComPort({kServer + ComPortServer::kSetParity, 3}));
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetStopSize, 2})).reply,
            ComPort({kServer + ComPortServer::kSetStopSize, 2}));
  // Malformed or unknown: nothing answered, nothing changed.
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetBaudRate, 1, 2})).reply, Bytes{});
  EXPECT_EQ(server.Take(ComPort({77, 1})).reply, Bytes{});
  EXPECT_EQ(server.Settings().baud, 9600u);
  const std::string signature = ComPortServer::kSignatureText;
  Bytes signed_{kServer + ComPortServer::kSignature};
  signed_.insert(signed_.end(), signature.begin(), signature.end());
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSignature})).reply, ComPort(signed_));
}

TEST(ComPortServer, KeepsTheModemLinesItIsAskedForAndTellsThem) {
  ComPortServer server;
  const auto control = [&](uint8_t value) { return server.Take(ComPort({ComPortServer::kSetControl, value})).reply; };
  const auto answer = [](uint8_t value) { return ComPort({kServer + ComPortServer::kSetControl, value}); };
  EXPECT_EQ(control(9), answer(9)) << "DTR off";
  EXPECT_EQ(control(7), answer(9)) << "DTR asked for: off";
  EXPECT_EQ(control(12), answer(12)) << "RTS off";
  EXPECT_EQ(control(10), answer(12));
  EXPECT_EQ(control(5), answer(5)) << "BREAK on";
  EXPECT_EQ(control(4), answer(5));
  EXPECT_EQ(control(6), answer(6));
  EXPECT_EQ(control(3), answer(3)) << "hardware flow control";
  EXPECT_EQ(control(0), answer(3));
  EXPECT_EQ(control(40), Bytes{}) << "a value RFC 2217 does not have";
  EXPECT_FALSE(server.Settings().dtr);
  EXPECT_FALSE(server.Settings().rts);
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kNotifyModemState})).reply,
            ComPort({kServer + ComPortServer::kNotifyModemState, ComPortServer::kModemState}));
  EXPECT_EQ(server.Take(ComPort({ComPortServer::kSetModemStateMask, 0x30})).reply,
            Join({ComPort({kServer + ComPortServer::kSetModemStateMask, 0x30}),
                  ComPort({kServer + ComPortServer::kNotifyModemState, ComPortServer::kModemState & 0x30})}));
}

TEST(ComPortServer, HandsTheReaderItsDataUndoubledWithThePurgesInTheirPlace) {
  ComPortServer server;
  const auto in = server.Take(Join({{0xFF, 0xFF, 0x01}, ComPort({ComPortServer::kPurgeData, 2}),
                                    {0x02, 0xFF, 0xFF}, ComPort({ComPortServer::kPurgeData, 1}),
                                    ComPort({ComPortServer::kPurgeData, 3}), ComPort({ComPortServer::kPurgeData, 4})}));
  // The reader's answers go on as they come: a device server holds none
  // of them to purge (1); the client's bytes not yet on the line it does.
  ASSERT_EQ(in.pieces.size(), 4u);
  EXPECT_EQ(in.pieces[0].data, (Bytes{0xFF, 0x01}));
  EXPECT_TRUE(in.pieces[1].purge && in.pieces[1].data.empty());
  EXPECT_EQ(in.pieces[2].data, (Bytes{0x02, 0xFF}));
  EXPECT_TRUE(in.pieces[3].purge) << "PURGE-DATA 3";
  EXPECT_EQ(in.reply, Join({ComPort({kServer + ComPortServer::kPurgeData, 2}),
                            ComPort({kServer + ComPortServer::kPurgeData, 1}),
                            ComPort({kServer + ComPortServer::kPurgeData, 3})}))
      << "PURGE-DATA 4 is none";
  EXPECT_EQ(ComPortServer::Outgoing(Bytes{0xFF, 0x00, 0x00, 0x00, 0xFF}),
            (Bytes{0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace vqsim
