#include "vqhw/demo_report.h"

#include <cstdio>

#include "vqhw/protocol_names.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

}  // namespace

void DemoReport::Transaction(std::string name) {
  transaction_ = std::move(name);
  step_ = 0;
  out_.Text("");
  out_.Text("== " + transaction_);
}

void DemoReport::Step(const std::string& name, double ms, const StepOutcome& outcome,
                      const std::vector<LineFrame>& frames) {
  ++step_;
  nlohmann::json entry = {{"transaction", transaction_}, {"step", step_}, {"name", name},
                          {"ms", ms},                    {"ok", outcome.ok}, {"result", outcome.text}};
  entry["frames"] = nlohmann::json::array();
  std::vector<std::string> lines;
  for (const LineFrame& frame : frames) {
    const bool toReader = frame.direction == LineDirection::kToReader;
    if (!frame.isFrame || frame.bytes.size() < 5) {
      lines.push_back(Format("        %s ?? %s", toReader ? ">" : "<", CompactHex(frame.bytes).c_str()));
      continue;
    }
    const uint8_t code = frame.bytes[2];
    const std::span<const uint8_t> data(frame.bytes.begin() + 4, frame.bytes.end() - 1);
    const std::string named = toReader ? CommandName(code) : StatusByteName(code);
    entry["frames"].push_back({{"to", toReader ? "reader" : "host"}, {"code", Format("%02X", code)},
                               {"name", named}, {"data", CompactHex(data)}});
    lines.push_back(Format("        %s %02X %-22s %s", toReader ? ">" : "<", code, named.c_str(),
                           data.empty() ? "-" : CompactHex(data).c_str()));
  }
  out_.Entry("steps", entry,
             Format("  %2d  %-38s %8.1f ms  %s%s", step_, name.c_str(), ms, outcome.ok ? "" : "FAILED: ",
                    outcome.text.c_str()));
  for (const std::string& line : lines) out_.Text(line);
}

void DemoReport::Summary(const std::string& key, const std::string& label, bool completed,
                         const std::string& summary) {
  out_.Field(key, label, completed ? "completed" : "failed", completed ? summary : "failed");
}

}  // namespace vqtool
