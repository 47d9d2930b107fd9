#include "vqhw/demo/lane_steps.h"

#include <ctime>
#include <span>

#include "VqhwLib.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

using Clock = std::chrono::steady_clock;

std::string Money(uint32_t amount) { return Format("%u.%02u", amount / 100, amount % 100); }

purse::DateTime DateTimeBcd() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const auto bcd = [](int value) { return static_cast<uint8_t>((value / 10) << 4 | value % 10); };
  const int year = local.tm_year + 1900;
  return {{bcd(year / 100), bcd(year % 100), bcd(local.tm_mon + 1), bcd(local.tm_mday)},
          {bcd(local.tm_hour), bcd(local.tm_min), bcd(local.tm_sec)}};
}

std::string Since(Clock::time_point begun) {
  return Format(", %.1f ms in all", std::chrono::duration<double, std::milli>(Clock::now() - begun).count());
}

Outcome Failed(std::string text, int exitCode) { return {false, std::move(text), exitCode}; }

Outcome FromCall(const CallResult& call, std::string shown) {
  if (!call.Ok()) return Failed(Format("%s -> %d (%s)", call.call.c_str(), call.result, call.message.c_str()),
                                ExitCodeFor(call.result));
  return {true, std::move(shown), 0};
}

bool LaneSteps::Step(const std::string& name, const std::function<Outcome()>& body) {
  const Clock::time_point start = Clock::now();
  const Outcome outcome = body();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  report_.Step(name, ms, outcome, line_.TakeFrames());
  if (!outcome.ok && exitCode_ == 0) exitCode_ = outcome.exitCode;
  return outcome.ok;
}

CardReply LaneSteps::Exchange(bool psam, const std::string& apdu) {
  CardReply reply = ExchangeOnce(psam, apdu);
  if (psam && reply.result == 0 && reply.sw >> 8 == 0x61) {
    reply = ExchangeOnce(true, Format("00C00000%02X", reply.sw & 0xFF));
  }
  return reply;
}

CardReply LaneSteps::ExchangeOnce(bool psam, const std::string& apdu) {
  char data[600] = {};
  char sw[8] = {};
  CardReply reply;
  reply.result = psam ? SAM_COMMAND_H(apdu.c_str(), data, sw) : PRO_COMMAND_H(apdu.c_str(), data, sw);
  if (reply.result != 0) return reply;
  const auto swBytes = vqshared::DecodeHex(sw);
  reply.data = vqshared::DecodeHex(data).value_or(Bytes{});
  reply.sw = swBytes && swBytes->size() == 2 ? static_cast<uint16_t>((*swBytes)[0] << 8 | (*swBytes)[1]) : 0;
  return reply;
}

Outcome LaneSteps::Apdu(bool psam, const std::string& apdu, Bytes& data, size_t expected,
                        const std::function<std::string(const Bytes&)>& shown) {
  const CardReply reply = Exchange(psam, apdu);
  const std::string call = psam ? "SAM_COMMAND_H" : "PRO_COMMAND_H";
  if (reply.result != 0) return FromCall(Checked(call, reply.result), "");
  if (reply.sw != kSwOk) return Failed(Format("SW %04X %s", reply.sw, StatusWordText(reply.sw).c_str()));
  if (reply.data.size() < expected) return Failed(Format("%zu bytes of answer, %zu expected", reply.data.size(), expected));
  data = reply.data;
  return {true, shown(data), 0};
}

bool LaneSteps::Activate(uint8_t sak, const char* kind) {
  return Step("activate the card", [&] {
    unsigned char record[5] = {};
    const CallResult call = Checked("opencard", opencard(record));
    if (!call.Ok()) return FromCall(call, "");
    const std::string found = CompactHex(std::span(record, 4)) + Format(", SAK %02X", record[4]);
    if (record[4] != sak) return Failed(found + ": not a " + kind);
    return Outcome{true, found, 0};
  });
}

bool LaneSteps::Release() {
  return Step("release the card", [] { return Outcome{true, Format("closecard -> %d", closecard()), 0}; });
}

bool LaneSteps::Abort() {
  Release();
  return false;
}

}  // namespace vqtool
