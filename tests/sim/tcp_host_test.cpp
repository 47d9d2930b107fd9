// The virtual reader on a TCP port against odd and hostile clients: a
// second client, a take-over, a client that vanishes in the middle of a
// frame or sends garbage, a flood, the telnet of RFC 2217 cut at every
// byte, options it does not know, a purge.

#include "sim/hosts/tcp/tcp_host.h"

#include <fstream>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "pty_client.h"
#include "sim/hosts/tcp/telnet_codec.h"
#include "sim/protocol/response_frame.h"
#include "tcp_client.h"

namespace vqsim {
namespace {

using namespace std::chrono_literals;
using testing::CommandFrame;
using testing::TcpClient;
using Bytes = std::vector<uint8_t>;

const Bytes kProbe = CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA});
const Bytes kProbeAnswer = EncodeResponse(0, 0, {});

// The host's notes on its clients, as they come.
class Notes {
 public:
  void Add(const std::string& note) {
    std::lock_guard lock(mutex_);
    notes_.push_back(note);
    added_.notify_all();
  }
  // Whether `count` notes holding `text` came within the window.
  bool Await(const std::string& text, size_t count = 1, std::chrono::milliseconds window = 2s) {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, window, [&] { return CountLocked(text) >= count; });
  }
  size_t Count(const std::string& text) {
    std::lock_guard lock(mutex_);
    return CountLocked(text);
  }

 private:
  size_t CountLocked(const std::string& text) const {
    return static_cast<size_t>(std::ranges::count_if(notes_, [&](const std::string& note) {
      return note.find(text) != std::string::npos;
    }));
  }

  std::mutex mutex_;
  std::condition_variable added_;
  std::vector<std::string> notes_;
};

class TcpHostTest : public ::testing::Test {
 protected:
  std::unique_ptr<TcpHost> Listen(const std::string& url, bool takeOver = false) {
    std::string why;
    LineHost::Events events;
    events.clients = [this](const std::string& note) { notes.Add(note); };
    return std::make_unique<TcpHost>(reader, *ListenUrl::Parse(url, why), events, takeOver);
  }
  // A client whose probe the reader answered: the one it serves.
  std::unique_ptr<TcpClient> Served(const TcpHost& host) {
    auto client = std::make_unique<TcpClient>(host.PortName());
    client->Write(kProbe);
    EXPECT_EQ(client->Read(kProbeAnswer.size(), 2s), kProbeAnswer);
    return client;
  }

  VirtualReader reader;
  Notes notes;
};

TEST_F(TcpHostTest, ServesTheReaderOnAFreePortOfThisMachine) {
  const auto host = Listen("socket://127.0.0.1:0");
  EXPECT_EQ(host->PortName().rfind("socket://127.0.0.1:", 0), 0u) << host->PortName();
  EXPECT_NE(testing::PortOf(host->PortName()), 0);
  EXPECT_TRUE(host->IsLoopback());
  const auto client = Served(*host);
  EXPECT_EQ(reader.CountReceived(0x70), 1u);
}

TEST_F(TcpHostTest, RefusesASecondClientWithTheReasonAndServesTheFirstOn) {
  const auto host = Listen("socket://127.0.0.1:0");
  const auto first = Served(*host);
  TcpClient second(host->PortName());
  const Bytes reason = second.Read(200, 2s);
  EXPECT_NE(std::string(reason.begin(), reason.end()).find("serves another client (127.0.0.1:"), std::string::npos)
      << std::string(reason.begin(), reason.end());
  EXPECT_TRUE(second.ClosedWithin(2s));
  EXPECT_TRUE(notes.Await("refused 127.0.0.1:"));
  first->Write(kProbe);
  EXPECT_EQ(first->Read(kProbeAnswer.size(), 2s), kProbeAnswer) << "the first client is still served";

  first->Close();
  ASSERT_TRUE(notes.Await(" left"));
  const auto third = Served(*host);
}

// A lane that closes its port and opens it again at once (a new lane
// process, say) is the one client, not a second.
TEST_F(TcpHostTest, AClientThatCallsAgainAtOnceIsServedNotRefused) {
  const auto host = Listen("socket://127.0.0.1:0");
  for (int i = 0; i < 50; ++i) {
    TcpClient client(host->PortName());
    client.Write(kProbe);
    ASSERT_EQ(client.Read(kProbeAnswer.size(), 2s), kProbeAnswer) << "call " << i;
  }
  EXPECT_EQ(notes.Count("refused"), 0u);
}

TEST_F(TcpHostTest, WithTakeOverTheNewcomerGetsTheLine) {
  const auto host = Listen("socket://127.0.0.1:0", true);
  const auto first = Served(*host);
  const auto second = Served(*host);
  EXPECT_TRUE(first->ClosedWithin(2s)) << "the client before is let go";
  EXPECT_TRUE(notes.Await("takes the reader over from"));
  EXPECT_EQ(notes.Count("refused"), 0u);
}

// What a client leaves behind when it goes, cut off in the middle of a
// frame or after garbage, must not spoil the next client's first command.
TEST_F(TcpHostTest, AClientThatVanishesOrSendsGarbageLeavesNothingForTheNext) {
  const auto host = Listen("socket://127.0.0.1:0");
  std::mt19937 random(7);
  Bytes garbage(300);
  for (uint8_t& b : garbage) b = static_cast<uint8_t>(random());
  garbage.push_back(0xFF);  // a frame start with nothing after it
  const std::vector<Bytes> leavings = {Bytes(kProbe.begin(), kProbe.begin() + 4), garbage};
  size_t gone = 0;
  for (const Bytes& leaving : leavings) {
    {
      TcpClient client(host->PortName());
      client.Write(leaving);
    }
    ASSERT_TRUE(notes.Await(" left", ++gone));
    TcpClient next(host->PortName());
    next.Write(CommandFrame(5, 0x70, {0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(next.Read(5, 2s), EncodeResponse(5, 0, {})) << leaving.size() << " bytes left behind";
    next.Close();
    ASSERT_TRUE(notes.Await(" left", ++gone));
  }
}

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

// Frames faster than the line takes them, from a client that reads the
// answers all the while: what the reader cannot take in is lost, as on an
// overrun receiver, and the memory stays where it was.
TEST_F(TcpHostTest, AFloodKeepsTheMemoryBounded) {
  reader.SetTiming(TimingProfile::Real());
  reader.LimitHistory(100);
  const auto host = Listen("socket://127.0.0.1:0");
  Bytes flood;
  for (size_t i = 0; flood.size() < (1u << 20); ++i) {
    const Bytes frame = CommandFrame(static_cast<uint8_t>(i % 8), 0x70, {0xAA, 0xAA, 0xAA});
    flood.insert(flood.end(), frame.begin(), frame.end());
  }
  TcpClient client(host->PortName());
  const size_t before = ResidentBytes();
  std::atomic<bool> done{false};
  std::thread drain([&] {
    while (!done) client.Read(1 << 16, 20ms);
  });
  for (int i = 0; i < 16; ++i) client.Write(flood);
  const size_t after = ResidentBytes();
  done = true;
  drain.join();
  EXPECT_LT(after, before + (6u << 20)) << "16 MB sent";
  EXPECT_TRUE(notes.Await("bytes lost"));
  client.Close();
  EXPECT_TRUE(notes.Await(" left")) << "the flood's client is let go at once, its backlog with it";
}

class Rfc2217HostTest : public TcpHostTest {
 protected:
  // A client that agreed to the com port option.
  std::unique_ptr<TcpClient> Negotiated(const TcpHost& host) {
    auto client = std::make_unique<TcpClient>(host.PortName());
    client->Write(telnet::Negotiation(telnet::kWill, telnet::kComPort));
    const Bytes expected = Join({telnet::Negotiation(telnet::kDo, telnet::kComPort),
                                 telnet::Subnegotiation(telnet::kComPort, Bytes{107, ComPortServer::kModemState})});
    EXPECT_EQ(client->Read(expected.size(), 2s), expected);
    return client;
  }
  static Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  }
};

TEST_F(Rfc2217HostTest, AnswersBytesCutAtEveryByteAndRefusesOptionsItDoesNotKnow) {
  const auto host = Listen("rfc2217://127.0.0.1:0");
  EXPECT_EQ(host->PortName().rfind("rfc2217://127.0.0.1:", 0), 0u);
  const auto client = Negotiated(*host);
  // A frame whose data holds 0xFF (each doubled), an option nobody knows
  // and a subnegotiation of it between its bytes, one byte per segment.
  const Bytes frame = CommandFrame(1, 0x70, {0xFF, 0xAA, 0xFF});
  Bytes sent;
  for (size_t i = 0; i < frame.size(); ++i) {
    const Bytes data = telnet::EncodeData(std::span(&frame[i], 1));
    sent.insert(sent.end(), data.begin(), data.end());
    if (i == 2) sent = Join({sent, telnet::Negotiation(telnet::kDo, 24), telnet::Subnegotiation(24, Bytes{1, 2})});
  }
  for (const uint8_t b : sent) {
    client->Write({b});
    std::this_thread::sleep_for(1ms);
  }
  const Bytes answer = EncodeResponse(1, 0xF0, {});  // the probe wants AA AA AA
  EXPECT_EQ(client->Read(3 + answer.size() + 1, 2s),
            Join({telnet::Negotiation(telnet::kWont, 24), telnet::EncodeData(answer)}));
  ASSERT_EQ(reader.ReceivedFrames().size(), 1u);
  EXPECT_EQ(reader.ReceivedFrames()[0].bytes, frame);
}

// While the reader is busy with a late answer, a second frame waits on the
// line: PURGE-DATA 2 drops it. The late answer is the reader's own, still to
// come, and a purge of the answers (1) leaves it coming, as a real reader's.
TEST_F(Rfc2217HostTest, PurgeDataDropsTheCommandsNotYetTakenInAndNoAnswerToCome) {
  const auto host = Listen("rfc2217://127.0.0.1:0");
  const auto client = Negotiated(*host);
  reader.Faults().AnswerLate(300ms);
  client->Write(telnet::EncodeData(kProbe));
  std::this_thread::sleep_for(50ms);
  const Bytes second = CommandFrame(1, 0x70, {0xAA, 0xAA, 0xAA});
  client->Write(Join({telnet::EncodeData(second), telnet::Subnegotiation(telnet::kComPort, Bytes{12, 2}),
                      telnet::Subnegotiation(telnet::kComPort, Bytes{12, 1})}));
  const Bytes acknowledged = Join({telnet::Subnegotiation(telnet::kComPort, Bytes{112, 2}),
                                   telnet::Subnegotiation(telnet::kComPort, Bytes{112, 1})});
  EXPECT_EQ(client->Read(acknowledged.size(), 200ms), acknowledged);
  const Bytes late = telnet::EncodeData(kProbeAnswer);
  EXPECT_EQ(client->Read(late.size() + 1, 800ms), late) << "the first answer, late, and none to the second";
  EXPECT_EQ(reader.CountReceived(0x70), 1u);
}

TEST(TcpHost, RefusesAPortInUse) {
  VirtualReader reader;
  std::string why;
  const TcpHost first(reader, *ListenUrl::Parse("socket://127.0.0.1:0", why), {});
  const ListenUrl taken = *ListenUrl::Parse("socket://127.0.0.1:" + std::to_string(testing::PortOf(first.PortName())), why);
  EXPECT_THROW(TcpHost(reader, taken, {}), std::system_error);
}

}  // namespace
}  // namespace vqsim
