#include "vqhw/demo/demo_report.h"

#include <chrono>
#include <cstdio>

#include "sim/lane/timing_profile.h"
#include "vqhw/protocol_names.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr uint32_t kLineBaud = 115200;

// What the wire and the cards allow for these frames: every byte's time on
// the host line, and each command's card time with the answer it drew.
double LimitMs(const std::vector<LineFrame>& frames) {
  static const vqsim::TimingProfile kProfile = vqsim::TimingProfile::Real();
  std::chrono::nanoseconds limit{0};
  const LineFrame* command = nullptr;
  for (const LineFrame& frame : frames) {
    limit += kProfile.LineTime(frame.bytes.size(), kLineBaud);
    if (!frame.isFrame || frame.bytes.size() < 5) continue;
    if (frame.direction == LineDirection::kToReader) {
      command = &frame;
    } else if (command != nullptr) {
      const auto data = [](const LineFrame& f) { return std::span(f.bytes).subspan(4, f.bytes.size() - 5); };
      limit += kProfile.CardTime(command->bytes[2], data(*command), data(frame));
      command = nullptr;
    }
  }
  return std::chrono::duration<double, std::milli>(limit).count();
}

std::string Ratio(double ms, double limitMs) { return limitMs > 0 ? Format("%.2f", ms / limitMs) : "-"; }

}  // namespace

void DemoReport::Transaction(std::string name) {
  transaction_ = std::move(name);
  step_ = 0;
  transactionMs_ = transactionLimitMs_ = 0;
  out_.Text("");
  out_.Text("== " + transaction_);
  out_.Text(Format("      %-38s %11s %10s %5s", "step", "time", "limit", "ratio"));
}

void DemoReport::Step(const std::string& name, double ms, const StepOutcome& outcome,
                      const std::vector<LineFrame>& frames) {
  ++step_;
  const double limitMs = LimitMs(frames);
  transactionMs_ += ms;
  transactionLimitMs_ += limitMs;
  nlohmann::json entry = {{"transaction", transaction_}, {"step", step_},   {"name", name},
                          {"ms", ms},                    {"limit_ms", limitMs}, {"ok", outcome.ok},
                          {"result", outcome.text}};
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
             Format("  %2d  %-38s %8.1f ms %7.1f ms %5s  %s%s", step_, name.c_str(), ms, limitMs,
                    Ratio(ms, limitMs).c_str(), outcome.ok ? "" : "FAILED: ", outcome.text.c_str()));
  for (const std::string& line : lines) out_.Text(line);
}

void DemoReport::TransactionTime(const std::string& note) {
  nlohmann::json entry = {{"transaction", transaction_}, {"ms", transactionMs_}, {"limit_ms", transactionLimitMs_}};
  out_.Entry("transactions", entry,
             Format("      %-38s %8.1f ms %7.1f ms %5s  (%s)", "the transaction", transactionMs_, transactionLimitMs_,
                    Ratio(transactionMs_, transactionLimitMs_).c_str(), note.c_str()));
}

void DemoReport::Summary(const std::string& key, const std::string& label, bool completed,
                         const std::string& summary) {
  out_.Field(key, label, completed ? "completed" : "failed", completed ? summary : "failed");
}

}  // namespace vqtool
