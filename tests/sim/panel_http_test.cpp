// The panel's server over a real loopback port, as a browser or a script
// reaches it, beside a lane on the reader's own TCP port: raw HTTP with
// what a foreign page, a rebinding name or a careless script would send,
// the event stream, and the lane served all the while.

#include "sim/panel/panel_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pty_client.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/hosts/tcp/tcp_host.h"
#include "sim/protocol/response_frame.h"
#include "tcp_client.h"

namespace vqsim::panel {
namespace {

using namespace std::chrono_literals;
using testing::CommandFrame;
using testing::TcpClient;
using Bytes = std::vector<uint8_t>;

struct Served {
  Served() {
    reader.InsertCard(std::make_shared<MifareClassic>(std::array<uint8_t, 4>{0x01, 0x02, 0x03, 0x04}));
    std::string why;
    LineHost::Events events;
    events.traffic = [this](LineHost::Direction direction, std::span<const uint8_t> bytes) {
      feed.Observe(0, direction == LineHost::Direction::kFromHost ? vqshared::LineDirection::kToReader
                                                                 : vqshared::LineDirection::kToHost,
                   bytes);
    };
    line = std::make_unique<TcpHost>(reader, *ListenUrl::Parse("socket://127.0.0.1:0", why), events);
    server = std::make_unique<PanelServer>(HttpAddress{"127.0.0.1", 0}, api, feed);
    host = "127.0.0.1:" + std::to_string(server->Port());
  }

  // One request on its own connection; the whole answer, head and body.
  std::string Send(const std::string& request, std::chrono::milliseconds window = 2s) const {
    TcpClient client("socket://" + host);
    client.Write(Bytes(request.begin(), request.end()));
    const Bytes answer = client.Read(1 << 20, window);
    return std::string(answer.begin(), answer.end());
  }
  std::string Post(const std::string& path, const std::string& body, const std::string& headers = "") const {
    return Send("POST " + path + " HTTP/1.1\r\nHost: " + host + "\r\nContent-Type: application/json\r\n" + headers +
                "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  }
  std::string Get(const std::string& path, const std::string& headers = "") const {
    return Send("GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + headers + "Connection: close\r\n\r\n");
  }

  VirtualReader reader;
  FrameFeed feed{{&reader}};
  PanelApi api{{{&reader, "socket://127.0.0.1", "instant"}}, feed};
  std::unique_ptr<TcpHost> line;
  std::unique_ptr<PanelServer> server;
  std::string host;
};

std::string StatusLine(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

TEST(PanelHttp, ForeignPagesNamesAndBodiesAreRefusedWhileTheLaneIsServed) {
  Served served;
  std::atomic<bool> done = false;
  std::atomic<int> answered = 0;
  std::atomic<int> unanswered = 0;
  // The lane: probes one after another on the reader's port, all the while.
  std::thread lane([&] {
    TcpClient client(served.line->PortName());
    for (uint8_t sequence = 0; !done; ++sequence) {
      client.Write(CommandFrame(sequence, 0x70, {0xAA, 0xAA, 0xAA}));
      (client.Read(5, 1s) == EncodeResponse(sequence, 0, {}) ? answered : unanswered)++;
    }
  });

  const std::string remove = R"({"request": "remove"})";
  EXPECT_EQ(StatusLine(served.Post("/api/readers/1/control", remove, "Origin: http://attacker.test\r\n")),
            "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(StatusLine(served.Send("POST /api/readers/1/control HTTP/1.1\r\nHost: rebind.attacker.test:" +
                                   std::to_string(served.server->Port()) +
                                   "\r\nContent-Type: application/json\r\nContent-Length: " +
                                   std::to_string(remove.size()) + "\r\nConnection: close\r\n\r\n" + remove)),
            "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(StatusLine(served.Send("POST /api/readers/1/control HTTP/1.1\r\nHost: " + served.host +
                                   "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 8\r\n"
                                   "Connection: close\r\n\r\nrequest=")),
            "HTTP/1.1 415 Unsupported Media Type");
  EXPECT_EQ(StatusLine(served.Get("/api/readers/1/control")), "HTTP/1.1 404 Not Found") << "no change on GET";
  EXPECT_EQ(StatusLine(served.Post("/api/readers/1/control", "{\"request\": ")), "HTTP/1.1 400 Bad Request");
  // A body over the limit, announced, and one sent chunked without a length.
  EXPECT_EQ(StatusLine(served.Send("POST /api/readers/1/control HTTP/1.1\r\nHost: " + served.host +
                                   "\r\nContent-Type: application/json\r\nContent-Length: 2000000\r\n\r\n")),
            "HTTP/1.1 413 Payload Too Large");
  std::string chunked = "POST /api/readers/1/control HTTP/1.1\r\nHost: " + served.host +
                        "\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 20; ++i) chunked += "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
  EXPECT_EQ(StatusLine(served.Send(chunked)), "HTTP/1.1 413 Payload Too Large");
  EXPECT_EQ(StatusLine(served.Send("GET / HTTP/1.1\r\nHost: " + served.host + "\r\nX: " + std::string(20000, 'x') +
                                   "\r\n\r\n")),
            "HTTP/1.1 431 Request Header Fields Too Large");
  EXPECT_EQ(served.Send("\x16\x03\x01 not HTTP at all\r\n\r\n", 500ms).find("HTTP/1.1 200"), std::string::npos);
  // A refusal that quotes bytes that are no UTF-8 (the server's thread once died of it).
  EXPECT_EQ(StatusLine(served.Send("GET / HTTP/1.1\r\nHost: \xff\xfe:1\r\nConnection: close\r\n\r\n")),
            "HTTP/1.1 403 Forbidden");
  EXPECT_EQ(StatusLine(served.Get("/api/\xb6")), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(served.reader.ReceivedFrames().empty(), false);
  EXPECT_NE(served.Get("/api/readers/1").find("\"serial\":\"01020304\""), std::string::npos)
      << "no refused request took the card away";

  const std::string removed = served.Post("/api/readers/1/control", remove);
  EXPECT_EQ(StatusLine(removed), "HTTP/1.1 200 OK") << removed;
  EXPECT_EQ(served.Get("/api/readers/1").find("\"serial\":\"01020304\""), std::string::npos);
  done = true;
  lane.join();
  EXPECT_GT(answered, 10);
  EXPECT_EQ(unanswered, 0) << "the lane was served throughout";
}

TEST(PanelHttp, TheEventStreamSendsTheStateAndEveryFrameAndGoesOnFromTheLastOne) {
  Served served;
  TcpClient events("socket://" + served.host);
  const std::string open = "GET /api/events HTTP/1.1\r\nHost: " + served.host + "\r\nAccept: text/event-stream\r\n\r\n";
  events.Write(Bytes(open.begin(), open.end()));
  TcpClient lane(served.line->PortName());
  lane.Write(CommandFrame(9, 0x70, {0xAA, 0xAA, 0xAA}));
  ASSERT_EQ(lane.Read(5, 1s), EncodeResponse(9, 0, {}));

  std::string stream;
  const auto until = std::chrono::steady_clock::now() + 2s;
  while (stream.find("\"direction\":\"answer\"") == std::string::npos && std::chrono::steady_clock::now() < until) {
    const Bytes more = events.Read(1 << 16, 100ms);
    stream.append(more.begin(), more.end());
  }
  EXPECT_EQ(stream.rfind("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream", 0), 0u);
  EXPECT_NE(stream.find("event: state\ndata: {"), std::string::npos);
  EXPECT_NE(stream.find("id: 1\nevent: frame\ndata: {"), std::string::npos);
  EXPECT_NE(stream.find("id: 2\nevent: frame\ndata: {"), std::string::npos) << stream;

  // A browser that lost the stream asks again from the last frame it had.
  lane.Write(CommandFrame(10, 0x70, {0xAA, 0xAA, 0xAA}));
  ASSERT_EQ(lane.Read(5, 1s), EncodeResponse(10, 0, {}));
  TcpClient again("socket://" + served.host);
  const std::string resume = "GET /api/events HTTP/1.1\r\nHost: " + served.host + "\r\nLast-Event-ID: 2\r\n\r\n";
  again.Write(Bytes(resume.begin(), resume.end()));
  std::string resumed;
  while (resumed.find("id: 4\n") == std::string::npos && std::chrono::steady_clock::now() < until + 2s) {
    const Bytes more = again.Read(1 << 16, 100ms);
    resumed.append(more.begin(), more.end());
  }
  EXPECT_EQ(resumed.find("id: 2\n"), std::string::npos);
  EXPECT_NE(resumed.find("id: 3\n"), std::string::npos);
  EXPECT_NE(resumed.find("id: 4\n"), std::string::npos);
}

TEST(PanelHttp, ConnectionsBeyondTheLimitAreClosedAndTheServerStopsWithStreamsOpen) {
  auto served = std::make_unique<Served>();
  std::vector<std::unique_ptr<TcpClient>> idle;
  for (int i = 0; i < PanelServer::kMostConnections + 5; ++i) {
    idle.push_back(std::make_unique<TcpClient>("socket://" + served->host));
  }
  std::this_thread::sleep_for(200ms);
  int closed = 0;
  for (auto& client : idle) closed += client->ClosedWithin(10ms) ? 1 : 0;
  EXPECT_GE(closed, 5);
  idle.clear();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(StatusLine(served->Get("/api/readers")), "HTTP/1.1 200 OK") << "the server serves again";

  TcpClient stream("socket://" + served->host);
  const std::string open = "GET /api/events HTTP/1.1\r\nHost: " + served->host + "\r\n\r\n";
  stream.Write(Bytes(open.begin(), open.end()));
  EXPECT_FALSE(stream.Read(1 << 16, 300ms).empty());
  const auto stopping = std::chrono::steady_clock::now();
  served.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
  EXPECT_TRUE(stream.ClosedWithin(1s));
}

}  // namespace
}  // namespace vqsim::panel
