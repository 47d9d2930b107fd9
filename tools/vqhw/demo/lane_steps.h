#pragma once
// The steps the lane demo's transactions are made of: each one timed and
// shown with its result and the frames it caused (DemoReport), the APDU
// exchanges through the text exports, activation and release of the card.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "lane/purse_terminal.h"
#include "vqhw/demo/demo_line.h"
#include "vqhw/demo/demo_report.h"
#include "vqhw/output.h"
#include "vqhw/reader_calls.h"

#include "vqhw/text.h"

namespace vqtool {

using Bytes = std::vector<uint8_t>;
using Outcome = StepOutcome;
namespace purse = vqlane::purse;

inline constexpr uint16_t kSwOk = 0x9000;

std::string Money(uint32_t amount);  // "12.50"
// The transaction's date (YYYYMMDD) and time (hhmmss) in BCD, local time.
purse::DateTime DateTimeBcd();
// ", 203.4 ms in all" since `begun`.
std::string Since(std::chrono::steady_clock::time_point begun);

Outcome Failed(std::string text, int exitCode = ExitCodeFor(VQHW_FAILED));
// The call's failure, or `shown` when it succeeded.
Outcome FromCall(const CallResult& call, std::string shown);

// A card's answer to a command APDU through the split text exports.
struct CardReply {
  int32_t result = 0;
  Bytes data;
  uint16_t sw = 0;
};

class LaneSteps {
 public:
  LaneSteps(Output& out, DemoLine& line) : report_(out), line_(line) {}

  DemoReport& Report() { return report_; }
  DemoLine& Line() { return line_; }
  int ExitCode() const { return exitCode_; }

  // Runs one step, timed, and shows it with the frames it caused; the
  // first failure sets the exit code.
  bool Step(const std::string& name, const std::function<Outcome()>& body);
  // One APDU through PRO_COMMAND_H or SAM_COMMAND_H; a PSAM in contact
  // mode answers 61 xx first, and GET RESPONSE fetches the data.
  CardReply Exchange(bool psam, const std::string& apdu);
  // The exchange's outcome: `shown` of the data when the card says 90 00
  // with at least `expected` bytes, which go to `data`.
  Outcome Apdu(bool psam, const std::string& apdu, Bytes& data, size_t expected,
               const std::function<std::string(const Bytes&)>& shown);
  // Activates the card, which must have the SAK of a `kind`.
  bool Activate(uint8_t sak, const char* kind);
  bool Release();
  // A step failed: the card is released all the same.
  bool Abort();

 private:
  static CardReply ExchangeOnce(bool psam, const std::string& apdu);

  DemoReport report_;
  DemoLine& line_;
  int exitCode_ = 0;
};

}  // namespace vqtool
