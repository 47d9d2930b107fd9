// Requests to the panel as its server hands them on once HTTP is parsed:
// the guard's check, then the API's answer, on one reader with a card.
// The input is "METHOD TARGET\nHOST\nORIGIN\nCONTENT-TYPE\nCOOKIE\n" and
// then the body; the guard stands for a loopback panel, and for one off
// loopback when the first byte is odd (then with the token "t0k3n").
//
// What must hold: the guard refuses with a 4xx and a message; every
// answer has a status from 200 to 599 and a body, JSON with an "error"
// on a 4xx; a refused control request leaves the reader as it was.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/panel/panel_api.h"
#include "sim/panel/request_guard.h"

namespace {

std::string Line(const std::string& text, size_t& at) {
  const size_t end = std::min(text.find('\n', at), text.size());
  std::string line = text.substr(at, end - at);
  at = std::min(end + 1, text.size());
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool offLoopback = data[0] & 1;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t at = 0;
  const std::string requestLine = Line(text, at);
  vqsim::panel::Guarded guarded;
  guarded.method = requestLine.substr(0, requestLine.find(' '));
  guarded.target = requestLine.find(' ') == std::string::npos ? "/" : requestLine.substr(requestLine.find(' ') + 1);
  guarded.host = Line(text, at);
  guarded.origin = Line(text, at);
  guarded.contentType = Line(text, at);
  guarded.cookie = Line(text, at);
  const std::string body = text.substr(at);

  const vqsim::panel::RequestGuard guard(offLoopback ? "0.0.0.0" : "127.0.0.1", 8080, offLoopback ? "t0k3n" : "");
  if (const auto refusal = guard.Check(guarded)) {
    FUZZ_CHECK(refusal->status >= 400 && refusal->status < 500);
    FUZZ_CHECK(!refusal->message.empty());
  }

  vqsim::VirtualReader reader;
  reader.InsertCard(std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{1, 2, 3, 4}));
  vqsim::panel::FrameFeed feed({&reader});
  const vqsim::panel::PanelApi api({{&reader, "socket://127.0.0.1:1", "instant"}}, feed);
  const std::string before = api.ReaderJson(0).dump();
  const vqsim::panel::PanelResponse answer = api.Answer({guarded.method, guarded.target, guarded.contentType, body});
  FUZZ_CHECK(answer.status >= 200 && answer.status < 600);
  FUZZ_CHECK(answer.status != 500);
  if (answer.status >= 400) {
    const auto parsed = nlohmann::json::parse(answer.body, nullptr, false);
    FUZZ_CHECK(parsed.is_object() && parsed.contains("error"));
    if (guarded.target.find("/control") != std::string::npos) FUZZ_CHECK(api.ReaderJson(0).dump() == before);
  }
  return 0;
}
