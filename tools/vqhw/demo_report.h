#pragma once
// How the lane demo shows itself: a heading per transaction, a line per
// step with its result and time, and below it the frames the step caused
// in short form (direction, code, name, data); with --json the same as
// entries of "steps".

#include <string>
#include <vector>

#include "vqhw/demo_line.h"
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
  void Note(const std::string& text) { out_.Text(text); }
  // The closing lines: how each transaction ended.
  void Summary(const std::string& key, const std::string& label, bool completed, const std::string& summary);

 private:
  Output& out_;
  std::string transaction_;
  int step_ = 0;
};

}  // namespace vqtool
