// The panel's parts that need no socket: who may drive it, its routes and
// their answers to good and bad requests, the frames it shows, the
// timeline of a record.

#include <gtest/gtest.h>

#include <string>

#include "pty_client.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/panel/frame_feed.h"
#include "sim/panel/http_address.h"
#include "sim/panel/panel_api.h"
#include "sim/panel/request_guard.h"
#include "sim/panel/timeline.h"

namespace vqsim::panel {
namespace {

using nlohmann::json;
using testing::CommandFrame;
using vqshared::LineDirection;

Guarded Get(const std::string& host, const std::string& target = "/api/readers") {
  return {"GET", target, host, "", "", "", ""};
}

TEST(PanelGuard, OnLoopbackOnlyTheNamesOfLoopbackAndThePageItselfGetIn) {
  const RequestGuard guard("127.0.0.1", 8080, "");
  for (const char* host : {"127.0.0.1:8080", "localhost:8080", "LOCALHOST:8080", "[::1]:8080"}) {
    EXPECT_FALSE(guard.Check(Get(host))) << host;
  }
  // DNS rebinding: a name of the attacker's that resolves to 127.0.0.1.
  for (const char* host : {"rebind.attacker.test:8080", "127.0.0.1:8081", "127.0.0.1", "localhost"}) {
    const auto refusal = guard.Check(Get(host));
    ASSERT_TRUE(refusal) << host;
    EXPECT_EQ(refusal->status, 403) << host;
  }
  EXPECT_EQ(guard.Check(Get(""))->status, 400) << "no Host header";

  Guarded post{"POST", "/api/readers/1/control", "127.0.0.1:8080", "http://127.0.0.1:8080", "application/json", "", ""};
  EXPECT_FALSE(guard.Check(post)) << "the page's own origin";
  post.origin = "";
  EXPECT_FALSE(guard.Check(post)) << "a script sends no Origin";
  for (const char* origin : {"http://attacker.test", "http://127.0.0.1:9999", "null", "https://127.0.0.1:8080"}) {
    post.origin = origin;
    EXPECT_EQ(guard.Check(post)->status, 403) << origin;
  }
  post.origin = "http://localhost:8080";
  EXPECT_EQ(guard.Check(post)->status, 403) << "an origin other than the host the request went to";
  post.host = "localhost:8080";
  EXPECT_FALSE(guard.Check(post));

  post.contentType = "application/x-www-form-urlencoded";  // what a cross-site form sends unasked
  EXPECT_EQ(guard.Check(post)->status, 415);
  post.contentType = "application/json; charset=utf-8";
  EXPECT_FALSE(guard.Check(post));
  for (const char* method : {"PUT", "DELETE", "OPTIONS"}) {
    post.method = method;
    EXPECT_EQ(guard.Check(post)->status, 405) << method;
  }
}

TEST(PanelGuard, OffLoopbackEveryRequestNeedsTheToken) {
  const std::string token = NewToken();
  ASSERT_EQ(token.size(), 32u);
  EXPECT_NE(token, NewToken());
  const RequestGuard guard("0.0.0.0", 8080, token);
  Guarded request = Get("lane-pc:8080");
  EXPECT_EQ(guard.Check(request)->status, 401);
  request.authorization = "Bearer " + token;
  EXPECT_FALSE(guard.Check(request));
  request.authorization = "Bearer " + token.substr(1) + "0";
  EXPECT_EQ(guard.Check(request)->status, 401);
  request.authorization.clear();
  request.cookie = "other=1; vqhw-token=" + token;
  EXPECT_FALSE(guard.Check(request)) << "the cookie the first page load set";
  request.cookie.clear();
  request.target = "/?theme=dark&token=" + token;
  EXPECT_FALSE(guard.Check(request));
  EXPECT_TRUE(guard.CarriesToken(request.target));
  EXPECT_NE(guard.TokenCookie().find("HttpOnly"), std::string::npos);
  EXPECT_NE(guard.TokenCookie().find("SameSite=Strict"), std::string::npos);
  request.target = "/?token=" + token + "x";
  EXPECT_EQ(guard.Check(request)->status, 401);
}

TEST(PanelAddress, TakesTheFormsOfTheOptionAndRefusesTheRest) {
  EXPECT_EQ(ParseHttpAddress("8080")->port, 8080);
  EXPECT_EQ(ParseHttpAddress("8080")->host, "127.0.0.1");
  EXPECT_EQ(ParseHttpAddress(":0")->host, "127.0.0.1");
  EXPECT_EQ(ParseHttpAddress("localhost:80")->host, "127.0.0.1");
  EXPECT_EQ(ParseHttpAddress("[::1]:8080")->host, "::1");
  EXPECT_EQ(ParseHttpAddress("0.0.0.0:1")->host, "0.0.0.0");
  for (const char* bad : {"", "host:", ":", "::1:8080", "1:65536", "1:-1", "1:80x", "[::1]"}) {
    EXPECT_FALSE(ParseHttpAddress(bad)) << bad;
  }
}

// A reader, its feed and API, as vqhw-sim serves them.
struct Panel {
  explicit Panel(size_t largestRecord = FrameFeed::kLargestRecord)
      : feed({&reader}, largestRecord), api({{&reader, "socket://127.0.0.1:1", "instant"}}, feed) {
    reader.InsertCard(std::make_shared<MifareClassic>(std::array<uint8_t, 4>{0x3A, 0x5F, 0x0C, 0x99}));
  }

  PanelResponse Post(const std::string& target, const std::string& body,
                     const std::string& contentType = "application/json") {
    return api.Answer({"POST", target, contentType, body});
  }
  PanelResponse Get(const std::string& target) { return api.Answer({"GET", target, "", ""}); }
  std::string Error(const PanelResponse& response) { return json::parse(response.body).value("error", ""); }
  // A command through the reader, both ways into the feed, as a line would.
  void Exchange(const std::vector<uint8_t>& command) {
    feed.Observe(0, LineDirection::kToReader, command);
    for (const AnswerChunk& chunk : reader.Receive(command)) feed.Observe(0, LineDirection::kToHost, chunk.bytes);
  }

  VirtualReader reader;
  FrameFeed feed;
  PanelApi api;
};

TEST(PanelApiRoutes, ControlRequestsChangeTheReaderAndBadOnesLeaveItAsItWas) {
  Panel panel;
  const json before = panel.api.ReaderJson(0);
  ASSERT_EQ(before["cards"].size(), 1u);
  const std::string serial = before["cards"][0]["serial"];

  for (const auto& [body, contentType, status] :
       {std::tuple{"{\"request\": ", "application/json", 400},    // malformed JSON
        std::tuple{"[\"remove\"]", "application/json", 400},      // not the object
        std::tuple{"{\"request\": 7}", "application/json", 400},  // not a text
        std::tuple{"{\"request\": \"remove\\nremove\"}", "application/json", 400},  // two lines
        std::tuple{"{\"request\": \"remove\"}", "text/plain", 415},
        std::tuple{"{\"request\": \"remove 00000000\"}", "application/json", 400},  // no such card
        std::tuple{"{\"request\": \"fault late x\"}", "application/json", 400}}) {
    const PanelResponse response = panel.Post("/api/readers/1/control", body, contentType);
    EXPECT_EQ(response.status, status) << body;
    EXPECT_FALSE(panel.Error(response).empty()) << body;
  }
  EXPECT_EQ(panel.api.ReaderJson(0), before) << "no refused request changed the reader";

  const PanelResponse removed = panel.Post("/api/readers/1/control", "{\"request\": \"remove " + serial + "\"}");
  EXPECT_EQ(removed.status, 200);
  EXPECT_EQ(json::parse(removed.body)["reply"], "the card left");
  EXPECT_TRUE(panel.api.ReaderJson(0)["cards"].empty());
  EXPECT_EQ(panel.Post("/api/readers/2/control", "{\"request\": \"state\"}").status, 404);
  EXPECT_EQ(panel.Post("/api/readers/0/control", "{\"request\": \"state\"}").status, 404);
  EXPECT_EQ(panel.Post("/api/readers/1x/control", "{\"request\": \"state\"}").status, 404);
}

TEST(PanelApiRoutes, ThePageTheExamplesAndTheReadersAreServed) {
  Panel panel;
  const PanelResponse page = panel.Get("/?token=x");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.contentType.rfind("text/html", 0), 0u);
  EXPECT_NE(page.body.find("<"), std::string::npos);
  EXPECT_EQ(panel.Get("/../CMakeLists.txt").status, 404);
  EXPECT_EQ(panel.Get("/api/nothing").status, 404);

  const json examples = json::parse(panel.Get("/api/examples").body);
  ASSERT_FALSE(examples["cards"].empty());
  ASSERT_FALSE(examples["scenarios"].empty());
  // Every example card enters the field through the control request the page sends.
  for (const json& example : examples["cards"]) {
    const PanelResponse presented =
        panel.Post("/api/readers/1/control", json{{"request", "present " + example["card"].dump()}}.dump());
    EXPECT_EQ(presented.status, 200) << example["name"] << ": " << presented.body;
  }
  const json readers = json::parse(panel.Get("/api/readers").body);
  ASSERT_EQ(readers["readers"].size(), 1u);
  EXPECT_EQ(readers["readers"][0]["number"], 1);
  EXPECT_EQ(readers["readers"][0]["port"], "socket://127.0.0.1:1");
  EXPECT_EQ(readers["readers"][0]["cards"].size(), 1 + examples["cards"].size());
  EXPECT_EQ(readers["readers"][0]["timing"], "instant");
}

TEST(PanelFeed, FramesAreDecodedTimedAndNumberedAndTheRingIsBounded) {
  Panel panel;
  panel.Exchange(CommandFrame(5, 0x70, {0xAA, 0xAA, 0xAA}));
  panel.Exchange(CommandFrame(6, 0x61, {0x00, 0x84, 0x00, 0x00, 0x08}));  // a PSAM challenge
  const std::vector<json> frames = panel.feed.After(0, 100);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0]["direction"], "command");
  EXPECT_EQ(frames[0]["name"], "probe");
  EXPECT_EQ(frames[0]["sequence"], 5);
  EXPECT_EQ(frames[1]["direction"], "answer");
  EXPECT_EQ(frames[1]["name"], "success");
  EXPECT_TRUE(frames[1].contains("exchangeMs"));
  EXPECT_EQ(frames[2]["apdu"], "0084000008");
  EXPECT_EQ(frames[3]["sw"], "9000");
  EXPECT_FALSE(frames[3]["swText"].get<std::string>().empty());
  EXPECT_EQ(panel.feed.After(frames[1]["id"], 100).size(), 2u);

  // Noise, and a frame cut in two pieces, still one frame.
  panel.feed.Observe(0, LineDirection::kToReader, std::vector<uint8_t>{0x12, 0x34});
  const auto probe = CommandFrame(7, 0x70, {0xAA, 0xAA, 0xAA});
  panel.feed.Observe(0, LineDirection::kToReader, std::span(probe).first(3));
  panel.feed.Observe(0, LineDirection::kToReader, std::span(probe).subspan(3));
  const std::vector<json> more = panel.feed.After(frames[3]["id"], 100);
  ASSERT_EQ(more.size(), 2u);
  EXPECT_EQ(more[0]["direction"], "noise");
  EXPECT_EQ(more[1]["sequence"], 7);

  for (size_t i = 0; i < FrameFeed::kKeptFrames + 10; ++i) panel.feed.Observe(0, LineDirection::kToReader, probe);
  EXPECT_EQ(panel.feed.After(0, 1000000).size(), FrameFeed::kKeptFrames);
  EXPECT_EQ(panel.feed.After(0, 1).front()["id"].get<uint64_t>(), panel.feed.LastId() - FrameFeed::kKeptFrames + 1);
}

TEST(PanelRecord, ARecordingPlaysAsATimelineOfItsExchanges) {
  Panel panel;
  EXPECT_EQ(panel.Post("/api/readers/1/record", "{\"recording\": 1}").status, 400);
  EXPECT_EQ(panel.Post("/api/readers/1/record", "{\"recording\": true}").status, 200);
  panel.Exchange(CommandFrame(1, 0x70, {0xAA, 0xAA, 0xAA}));
  panel.Exchange(CommandFrame(1, 0x70, {0xAA, 0xAA, 0xAA}));  // sent again: a retry
  panel.reader.ClearField();
  panel.Exchange(CommandFrame(2, 0x10));  // activation, no card
  panel.feed.Observe(0, LineDirection::kToReader, CommandFrame(3, 0x70, {0xAA, 0xAA, 0xAA}));  // never answered
  EXPECT_EQ(json::parse(panel.Post("/api/readers/1/record", "{\"recording\": false}").body)["frames"], 7);
  panel.Exchange(CommandFrame(4, 0x70, {0xAA, 0xAA, 0xAA}));  // after the recording stopped

  const PanelResponse record = panel.Get("/api/readers/1/record");
  EXPECT_EQ(record.contentType.rfind("text/plain", 0), 0u);
  ASSERT_EQ(record.body.rfind("# vqhw session record", 0), 0u);
  const PanelResponse timeline = panel.Post("/api/timeline", record.body, "text/plain");
  ASSERT_EQ(timeline.status, 200) << timeline.body;
  const json exchanges = json::parse(timeline.body)["exchanges"];
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_FALSE(exchanges[0]["retry"]);
  EXPECT_TRUE(exchanges[1]["retry"]);
  EXPECT_FALSE(exchanges[1]["failed"]);
  EXPECT_TRUE(exchanges[2]["failed"]) << "no card";
  EXPECT_EQ(exchanges[3]["status"], "no answer");
  for (const json& exchange : exchanges) {
    EXPECT_LE(exchange["start"].get<double>(), exchange["end"].get<double>());
    EXPECT_GT(exchange["wire"].get<double>(), 0);
  }
  // The host's time: from the answer before to the command's first byte.
  EXPECT_EQ(std::max(0.0, exchanges[1]["start"].get<double>() - exchanges[0]["end"].get<double>()),
            exchanges[1]["host"].get<double>());

  const PanelResponse broken = panel.Post("/api/timeline", "# vqhw session record\n  1.0  >  FF ZZ\n", "text/plain");
  EXPECT_EQ(broken.status, 400);
  EXPECT_NE(panel.Error(broken).find("line 2"), std::string::npos) << broken.body;
}

TEST(PanelRecord, ARecordStopsAtItsLimitAndSaysSo) {
  constexpr size_t kLimit = 64 << 10;
  Panel panel(kLimit);
  panel.Post("/api/readers/1/record", "{\"recording\": true}");
  const auto probe = CommandFrame(1, 0x70, {0xAA, 0xAA, 0xAA});
  while (panel.feed.Recording(0).recording) panel.feed.Observe(0, LineDirection::kToReader, probe);
  EXPECT_TRUE(panel.feed.Recording(0).full);
  EXPECT_GE(panel.feed.Record(0).size(), kLimit);
  EXPECT_LE(panel.feed.Record(0).size(), kLimit + 200) << "one frame's line past the limit at most";
  EXPECT_EQ(panel.api.ReaderJson(0)["record"]["full"], true);
}

}  // namespace
}  // namespace vqsim::panel
