// The library's network ports against a TCP peer of the test's own with the
// virtual reader behind it: what a device server or a network does that no
// real server does on cue. ByteVector split at every place, 0xFF everywhere,
// options the library does not know, banners, servers that refuse, close,
// restart or never speak; and each open failure bounded in time.

#include <algorithm>
#include <thread>

#include "network/network_fixture.h"
#include "network/reader_peer.h"

namespace vqtest {
namespace {

const std::string kAllFF(32, 'F');

class PeerTest : public NetworkTest {
 protected:
  // A peer that serves the reader as `behaviour` says.
  std::unique_ptr<TcpPeer> Serve(PeerBehaviour behaviour, uint16_t port = 0,
                                 TcpPeer::Family family = TcpPeer::Family::kIpv4, bool nagle = false) {
    auto peer = std::make_unique<TcpPeer>(
        [this, behaviour](PeerConnection& c) { ServeReader(c, reader, behaviour, &client); }, port, family, nagle);
    NameCom1(peer->Url(behaviour.telnet ? "rfc2217" : "socket"));
    return peer;
  }

  TelnetClientStream client;  // what a telnet client sent
};

class BothSchemes : public PeerTest, public ::testing::WithParamInterface<bool> {
 protected:
  PeerBehaviour Behaviour() const {
    PeerBehaviour b;
    b.telnet = GetParam();
    return b;
  }
};

INSTANTIATE_TEST_SUITE_P(Network, BothSchemes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Rfc2217" : "Socket"; });

TEST_P(BothSchemes, FramesFullOf0xFFSplitAtEveryByteComeThroughWhole) {
  PeerBehaviour behaviour = Behaviour();
  behaviour.splitEveryByte = true;  // and, over telnet, a modem-state notice after every byte
  const auto peer = Serve(behaviour);
  ASSERT_EQ(lib.open_reader(1, 0), 0) << Trace();
  OpenSector1();
  ASSERT_EQ(lib.writeblock_h(0, 5, kAllFF.c_str()), 0);
  EXPECT_EQ(ReadBlock(5), kAllFF);
  reader.WithState([&](vqsim::ReaderState&) {
    const auto& stored = card->RawBlock(5);
    EXPECT_TRUE(std::all_of(stored.begin(), stored.end(), [](uint8_t b) { return b == 0xFF; }));
  });
  EXPECT_EQ(peer->Connections(), 1);
}

TEST_P(BothSchemes, APeerThatClosesInTheMiddleOfAnAnswerCostsOneAttemptNotAReopen) {
  PeerBehaviour behaviour = Behaviour();
  behaviour.cutAnswer = 4;  // probe, PSAM reset, activation, then the key's answer is cut
  const auto peer = Serve(behaviour);
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  uint8_t record[5];
  ASSERT_EQ(lib.opencard(record), 0);
  const auto start = Clock::now();
  EXPECT_EQ(lib.loadkey(0, 1, kFactoryKey), 0) << "the next attempt connects again" << Trace();
  EXPECT_LT(Since(start), milliseconds(2000));
  EXPECT_EQ(peer->Connections(), 2);
  EXPECT_EQ(ReadBlock(4), std::string(32, '0'));
  const std::string trace = Trace();
  EXPECT_NE(trace.find("ended"), std::string::npos) << trace;
  EXPECT_NE(trace.find("connecting again to "), std::string::npos) << trace;
}

TEST_P(BothSchemes, ADeviceServerThatRestartsCostsAtMostOneFailedCommand) {
  auto peer = Serve(Behaviour());
  const uint16_t port = peer->Port();
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  OpenSector1();
  peer.reset();  // the server goes away, and comes back on the same port
  int failed = 0;
  for (int command = 0; command < 3; ++command) failed += ReadBlock(4) != std::string(32, '0');
  EXPECT_EQ(failed, 3) << "nothing listens";
  peer = Serve(Behaviour(), port);
  failed = 0;
  for (int command = 0; command < 4; ++command) failed += ReadBlock(4) != std::string(32, '0');
  EXPECT_LE(failed, 1) << Trace();
  EXPECT_EQ(ReadBlock(4), std::string(32, '0'));
}

TEST_P(BothSchemes, AServerThatAcceptsAndNeverSpeaksFailsTheOpenWithinFiveSeconds) {
  TcpPeer silent([](PeerConnection& c) {
    while (c.Open()) c.Receive(milliseconds(50));
  });
  NameCom1(silent.Url(GetParam() ? "rfc2217" : "socket"));
  const auto start = Clock::now();
  EXPECT_EQ(lib.open_reader(1, 0), -1);
  EXPECT_LT(Since(start), milliseconds(5000));
  // Raw TCP cannot tell a silent server from a line without a reader; a
  // telnet server that never negotiates is no device server.
  EXPECT_EQ(lib.LastStatusText(), Gbk(GetParam() ? "串行口无法打开" : "找不到机具"));
}

TEST_P(BothSchemes, AServerThatHoldsSmallWritesDoesNotHoldTheAnswersBack) {
  PeerBehaviour behaviour = Behaviour();
  behaviour.answerInTwoWrites = true;
  const auto peer = Serve(behaviour, 0, TcpPeer::Family::kIpv4, /*nagle=*/true);
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  OpenSector1();
  const auto start = Clock::now();
  for (int command = 0; command < 20; ++command) ASSERT_EQ(ReadBlock(4), std::string(32, '0'));
  EXPECT_LT(Since(start), milliseconds(20 * 15)) << "each answer's second half waited for an acknowledgement";
}

TEST_P(BothSchemes, AGreetingBeforeTheFirstCommandIsDropped) {
  PeerBehaviour behaviour = Behaviour();
  behaviour.greeting = {'W', 'e', 'l', 'c', 'o', 'm', 'e', 0xFF, 0x00, '\r', '\n'};
  if (behaviour.telnet) behaviour.greeting = Doubled(behaviour.greeting);
  const auto peer = Serve(behaviour);
  EXPECT_EQ(lib.open_reader(1, 0), 0) << Trace();
  OpenSector1();
  EXPECT_EQ(ReadBlock(4), std::string(32, '0'));
}

TEST_F(PeerTest, OptionsTheLibraryDoesNotKnowAreRefusedAndTheOpenGoesOn) {
  PeerBehaviour behaviour;
  behaviour.telnet = true;
  // Terminal type and window size wanted, echo offered, a terminal-type
  // subnegotiation and a NOP, as a login server might send.
  behaviour.greeting = {0xFF, 0xFD, 0x18, 0xFF, 0xFD, 0x1F, 0xFF, 0xFB, 0x01, 0xFF,
                        0xFA, 0x18, 0x01, 0xFF, 0xF0, 0xFF, 0xF1};
  const auto peer = Serve(behaviour);
  ASSERT_EQ(lib.open_reader(1, 0), 0) << Trace();
  OpenSector1();
  std::vector<ByteVector> answers;
  for (const auto& c : client.AllCommands()) {
    if (c.bytes.size() == 3 && (c.bytes[2] == 0x18 || c.bytes[2] == 0x1F || c.bytes[2] == 0x01)) {
      answers.push_back(c.bytes);
    }
  }
  EXPECT_EQ(answers, (std::vector<ByteVector>{{0xFF, 0xFC, 0x18}, {0xFF, 0xFC, 0x1F}, {0xFF, 0xFE, 0x01}}));
}

TEST_F(PeerTest, OverTelnetAFailedAttemptPurgesTheServerAndNoModemLineIsEverDriven) {
  PeerBehaviour behaviour;
  behaviour.telnet = true;
  const auto peer = Serve(behaviour);
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  OpenSector1();
  reader.Faults().StaySilent(1);
  ASSERT_EQ(ReadBlock(4), std::string(32, '0')) << "the second attempt is answered";
  // Where each frame starts in the client's data, by the frames' lengths.
  std::vector<size_t> frameStarts;
  const ByteVector data = client.AllData();
  for (size_t at = 0; at + 4 <= data.size(); at += data[at + 3] + 5u) frameStarts.push_back(at);
  ASSERT_EQ(frameStarts.size(), 7u) << "probe, PSAM reset, activation, key, authentication, block twice";
  std::vector<size_t> purges;
  std::vector<ByteVector> comPort;
  for (const auto& c : client.AllCommands()) {
    if (c.bytes.size() > 3 && c.bytes[1] == 0xFA && c.bytes[2] == 44) comPort.push_back(c.bytes);
    if (c.bytes == ByteVector{0xFF, 0xFA, 44, 12, 3, 0xFF, 0xF0}) purges.push_back(c.dataBefore);
  }
  EXPECT_EQ(purges, std::vector<size_t>{frameStarts[6]}) << "the server purges before the second attempt alone";
  ASSERT_GE(comPort.size(), 5u);
  EXPECT_EQ(ByteVector(comPort[0].begin() + 3, comPort[0].end() - 2), (ByteVector{1, 0x00, 0x01, 0xC2, 0x00}));
  EXPECT_EQ(ByteVector(comPort[4].begin() + 3, comPort[4].end() - 2), (ByteVector{5, 1})) << "no flow control";
  for (const ByteVector& c : comPort) {
    EXPECT_TRUE(c[3] != 5 || c[4] == 1) << "SET-CONTROL asks for nothing but no flow control";
    EXPECT_TRUE(c[3] <= 5 || c[3] == 12) << "no modem-line, break or mask command: " << int{c[3]};
  }
  EXPECT_NE(Trace().find("rfc2217: line settings agreed: baud=115200 parity=N data=8 stop=1"), std::string::npos);
}

TEST_F(PeerTest, ServersThatRefuseComPortOrTheSettingsFailTheOpen) {
  PeerBehaviour noNegotiation;
  noNegotiation.telnet = true;
  noNegotiation.negotiate = false;
  {
    const auto peer = Serve(noNegotiation);
    const auto start = Clock::now();
    EXPECT_EQ(lib.open_reader(1, 0), -1);
    EXPECT_LT(Since(start), milliseconds(1500)) << "the negotiation has a second";
    EXPECT_EQ(lib.LastStatusText(), Gbk("串行口无法打开"));
  }
  PeerBehaviour slowLine;
  slowLine.telnet = true;
  slowLine.answeredSpeed = 9600;
  const auto peer = Serve(slowLine);
  EXPECT_EQ(lib.open_reader(1, 0), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口无法打开"));
  const std::string trace = Trace();
  EXPECT_NE(trace.find("no answer to the COM-PORT option in time"), std::string::npos) << trace;
  EXPECT_NE(trace.find("refuses the line settings, speed: asked for 115200, the server answered 9600"),
            std::string::npos)
      << trace;
}

TEST_F(PeerTest, LineSettingsThatAreNeverAnsweredAreWaitedForASecondAndNoMore) {
  PeerBehaviour behaviour;
  behaviour.telnet = true;
  behaviour.answerSettings = false;
  const auto peer = Serve(behaviour);
  const auto start = Clock::now();
  EXPECT_EQ(lib.open_reader(1, 0), 0);
  EXPECT_GE(Since(start), milliseconds(1000));
  EXPECT_LT(Since(start), milliseconds(1800));
  EXPECT_NE(Trace().find("rfc2217: not every line setting was answered in time; going on"), std::string::npos);
}

TEST_F(PeerTest, Ipv6AddressesAndNamesAreReached) {
  PeerBehaviour behaviour;
  behaviour.telnet = true;
  const auto peer = Serve(behaviour, 0, TcpPeer::Family::kIpv6);
  EXPECT_EQ(lib.open_reader(1, 0), 0) << Trace();
  EXPECT_EQ(lib.close_reader(), 0);
  const auto v4 = Serve(PeerBehaviour{});
  NameCom1("socket://localhost:" + std::to_string(v4->Port()));
  EXPECT_EQ(lib.open_reader(1, 0), 0) << Trace();
}

TEST_F(PeerTest, EndpointsThatCannotBeReachedFailAtOnceWithTheReasonInTheTrace) {
  const std::string closed = std::to_string(ClosedPort());
  for (const std::string& name : std::vector<std::string>{
           "socket://127.0.0.1:" + closed, "rfc2217://127.0.0.1:" + closed, "ftp://127.0.0.1:21",
           "socket://127.0.0.1:99999", "rfc2217://[::1:4001", "socket://no such host:1"}) {
    NameCom1(name);
    const auto start = Clock::now();
    EXPECT_EQ(lib.open_reader(1, 0), -1) << name;
    EXPECT_LT(Since(start), milliseconds(1000)) << name;
    EXPECT_EQ(lib.LastStatusText(), Gbk("串行口无法打开")) << name;
  }
  const std::string trace = Trace();
  EXPECT_NE(trace.find("os error: connect to 127.0.0.1 port " + closed + ": errno 111"), std::string::npos)
      << trace;
  EXPECT_NE(trace.find("port name refused: ftp://127.0.0.1:21: unknown scheme"), std::string::npos);
  EXPECT_NE(trace.find("port name refused: socket://127.0.0.1:99999: the port is no number"), std::string::npos);
  EXPECT_NE(trace.find("port name refused: rfc2217://[::1:4001: an IPv6 address"), std::string::npos);
  EXPECT_NE(trace.find("port name refused: socket://no such host:1: the host"), std::string::npos);
}

}  // namespace
}  // namespace vqtest
