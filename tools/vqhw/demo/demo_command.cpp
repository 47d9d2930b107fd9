#include "vqhw/demo/demo_command.h"

#include <memory>
#include <optional>

#include "shared/command_line.h"
#include "vqhw/demo/demo_line.h"
#include "vqhw/demo/lane_demo.h"

namespace vqtool {

namespace {

struct DemoOptions {
  std::optional<int> realPort;
  uint32_t amount = 1250;
};

int RunDemo(Context& context, const DemoOptions& options) {
  LaneDemoOptions lane{.port = options.realPort.value_or(context.port), .amount = options.amount};
  std::unique_ptr<DemoLine> line =
      options.realPort ? DemoLine::RealReader(lane.port) : DemoLine::VirtualLane(lane.port);
  context.out.Field("line", "line",
                    line->IsVirtual() ? "the built-in virtual lane" : "the reader on COM" + std::to_string(lane.port));
  return RunLaneDemo(context.out, *line, lane);
}

}  // namespace

void AddDemoCommand(CLI::App& parent, CommandRegistry& registry) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* demo = registry.Add(
      parent, "demo",
      "the main job: a lane transaction for a MIFARE ONE card and one for a CPU card (purchase with the PSAM), "
      "step by step with frames and times, on the built-in virtual lane",
      [options](Context& context) { return RunDemo(context, *options); }, true, Reach::kOwnLane);
  demo->add_option("--port", options->realPort,
                   "run on the real reader on this port instead; its field must hold the cards")
      ->check(vqshared::WholeNumber(1, 99, "a port number"));
  demo->add_option("--amount", options->amount, "the toll, in the purse's smallest unit (default 1250)")
      ->check(vqshared::WholeNumber(0, 0x7FFFFFFF, "an amount"));
}

}  // namespace vqtool
