#include "vqhw/option_rules.h"

#include <array>

namespace vqtool {

namespace {

bool Given(const CLI::App& app, const char* option) { return app.count(option) > 0; }

// The options that name the reader, and those only the virtual reader knows.
constexpr std::array<const char*, 7> kReaderOptions{"--port",      "--device",   "--sim",       "--sim-field",
                                                    "--sim-state", "--sim-card", "--sim-timing"};
constexpr std::array<const char*, 4> kVirtualOnly{"--sim-field", "--sim-state", "--sim-card", "--sim-timing"};

}  // namespace

std::string RefusedOptions(const CLI::App& app, const std::string& name, Reach reach) {
  if (reach == Reach::kNoReader) {
    for (const char* option : kReaderOptions) {
      if (Given(app, option)) return std::string(option) + " does not apply: " + name + " talks to no reader";
    }
  }
  if (reach == Reach::kOwnLane) {
    if (Given(app, "--port")) {
      return "--port does not apply to demo, which runs on its own virtual lane; demo --port N runs it on the "
             "reader on port N";
    }
    for (const char* option : {"--device", "--sim-field", "--sim-state", "--sim-card", "--sim-timing"}) {
      if (Given(app, option)) {
        return std::string(option) +
               " does not apply to demo: its virtual lane has its own cards and a lane's real times";
      }
    }
    return {};
  }
  const bool simulated = Given(app, "--sim") || Given(app, "--sim-field") || Given(app, "--sim-state");
  if (Given(app, "--device") && simulated) {
    return "--device names a real reader, and --sim, --sim-field or --sim-state the virtual one: give one of them";
  }
  if (Given(app, "--sim-field") && Given(app, "--sim-state")) {
    return "--sim-field and --sim-state both name the field: copy the field file to the state file to start from it";
  }
  if (Given(app, "--sim-field") && Given(app, "--sim-card")) {
    return "--sim-card chooses the card of the default field, and --sim-field names another field";
  }
  if (!simulated) {
    for (const char* option : kVirtualOnly) {
      if (Given(app, option)) return std::string(option) + " sets up the virtual reader: add --sim";
    }
  }
  return {};
}

}  // namespace vqtool
