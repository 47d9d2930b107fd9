#include "vqhw/demo/lane_demo.h"

#include <string>

#include "VqhwLib.h"
#include "vqhw/demo/lane_transactions.h"
#include "vqhw/text.h"

namespace vqtool {

int RunLaneDemo(Output& out, DemoLine& line, const LaneDemoOptions& options) {
  LaneSteps steps(out, line);
  DemoReport& report = steps.Report();
  report.Transaction("reader");
  const bool opened = steps.Step("open the reader", [&] {
    return FromCall(Checked("open_reader", open_reader(options.port, 0)), "COM" + std::to_string(options.port));
  });
  if (!opened) return steps.ExitCode();
  steps.Step("reader information", [&] {
    char info[128] = {};
    getreaderinfo(info);
    return Outcome{true, GbkToUtf8(info), 0};
  });
  std::string mifareSummary, cpuSummary, tornSummary;
  const bool mifare = EntryRecordTransaction(steps, mifareSummary);
  if (line.IsVirtual()) report.Note("\n(the MIFARE ONE card leaves the field; a CPU card comes)");
  line.NextVehicle();
  const bool cpu = PurchaseTransaction(steps, options.amount, cpuSummary);
  bool torn = true;
  if (line.IsVirtual()) {
    report.Note("\n(the next vehicle's card leaves during DEBIT and comes back)");
    line.TearNextDebit();
    torn = TornPurchaseTransaction(steps, options.amount, tornSummary);
  }
  close_reader();
  line.TakeFrames();
  report.Note("");
  report.Summary("mifare_one", "MIFARE ONE transaction", mifare, mifareSummary);
  report.Summary("cpu_card", "CPU card transaction", cpu, cpuSummary);
  if (line.IsVirtual()) report.Summary("torn_purchase", "Torn CPU card transaction", torn, tornSummary);
  return steps.ExitCode();
}

}  // namespace vqtool
