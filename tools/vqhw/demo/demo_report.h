#pragma once
// How the lane demo shows itself: a heading per transaction, a line per
// step with its result, its time, the limit that the wire and the cards
// allow (each byte's time on the host line at 115200 baud and each
// command's card time, from the real timing profile) and the ratio of the
// two, a line with the same for the whole transaction, and below it the frames the step caused
// in short form (direction, code, name, data); with --json the same as
// entries of "steps".

#include <string>
#include <vector>

#include "vqhw/demo/demo_line.h"
#include "vqhw/output.h"

namespace vqtool {

// What a step found: its result for people and the exit code of a failure.
struct StepOutcome {
  bool ok = true;
  std::string text;
  int exitCode = 0;
};

class DemoReport {
 public:
  explicit DemoReport(Output& out) : out_(out) {}

  void Transaction(std::string name);
  void Step(const std::string& name, double ms, const StepOutcome& outcome, const std::vector<LineFrame>& frames);
  // The transaction's time, limit and ratio so far; `note` says what its
  // limit leaves out.
  void TransactionTime(const std::string& note);
  void Note(const std::string& text) { out_.Text(text); }
  // The closing lines: how each transaction ended.
  void Summary(const std::string& key, const std::string& label, bool completed, const std::string& summary);

 private:
  Output& out_;
  std::string transaction_;
  int step_ = 0;
  double transactionMs_ = 0;
  double transactionLimitMs_ = 0;
};

}  // namespace vqtool
