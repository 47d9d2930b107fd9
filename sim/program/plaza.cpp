#include "sim/program/plaza.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "shared/exit_codes.h"
#include "sim/control/control_commands.h"
#include "sim/control/control_socket.h"
#include "sim/files/field_file.h"
#include "sim/panel/frame_feed.h"
#include "sim/panel/panel_api.h"
#include "sim/panel/panel_server.h"
#include "sim/program/failure.h"
#include "sim/program/frame_log.h"
#include "sim/program/replay_run.h"
#include "sim/program/session_recorder.h"
#include "sim/program/stop_signals.h"

namespace vqsim::program {

namespace {

// One reader and what it was set up from.
struct Lane {
  ReaderOptions options;
  VirtualReader reader;
  std::string loaded;  // the description its field came from
  std::unique_ptr<SessionRecorder> recorder;
  std::unique_ptr<LineHost> host;
};

// Why the run ended from inside, first come.
class Ending {
 public:
  explicit Ending(io::Event& stop) : stop_(stop) {}
  void Lost(const std::string& why) {
    {
      std::lock_guard lock(mutex_);
      if (lost_.empty()) lost_ = why;
    }
    stop_.Set();
  }
  std::string LostLine() {
    std::lock_guard lock(mutex_);
    return lost_;
  }

 private:
  io::Event& stop_;
  std::mutex mutex_;
  std::string lost_;
};

// What the panel needs of a reader's line: its frames.
using PanelTap = std::function<void(LineHost::Direction, std::span<const uint8_t>)>;

LineHost::Events EventsOf(const SimOptions& options, const std::string& label, SessionRecorder* recorder,
                          PanelTap panel, Ending& ending) {
  LineHost::Events events;
  events.clients = [label](const std::string& note) { std::fprintf(stderr, "vqhw-sim: %s%s\n", label.c_str(), note.c_str()); };
  LineHost::TrafficLog log;
  if (options.log) {
    log = FrameLog(label);
    events.settings = [label](const std::string& note) {
      std::fprintf(stderr, "vqhw-sim: %srfc2217: %s\n", label.c_str(), note.c_str());
    };
  }
  if (log || recorder != nullptr || panel) {
    events.traffic = [log, recorder, panel](LineHost::Direction direction, std::span<const uint8_t> bytes) {
      if (log) log(direction, bytes);
      if (recorder != nullptr) recorder->Observe(direction, bytes);
      if (panel) panel(direction, bytes);
    };
  }
  events.lost = [&ending](const std::string& why) { ending.Lost(why); };
  return events;
}

}  // namespace

int ServeReaders(const SimOptions& options) {
  io::Event stop;
  StopOnRequest(stop);
  Ending ending(stop);
  const size_t readers = options.Readers();
  std::vector<std::unique_ptr<Lane>> lanes;
  std::vector<VirtualReader*> controlled;
  for (size_t i = 0; i < readers; ++i) {
    auto lane = std::make_unique<Lane>();
    lane->options = options.ForReader(i);
    lane->loaded = SetUp(lane->reader, lane->options);
    if (!lane->options.recordFile.empty()) lane->recorder = std::make_unique<SessionRecorder>(lane->options.recordFile);
    controlled.push_back(&lane->reader);
    lanes.push_back(std::move(lane));
  }
  const std::shared_ptr<SessionReplay> replay =
      options.replayFile.empty()
          ? nullptr
          : StartReplay(lanes[0]->reader, options.replayFile, [&stop] { stop.Set(); },
                        options.anySequence ? SessionReplay::Sequence::kAny : SessionReplay::Sequence::kAsRecorded);
  // Listening before the names are printed: whoever read them can send requests.
  std::unique_ptr<ControlSocket> control;
  if (!options.controlPath.empty()) {
    try {
      control = std::make_unique<ControlSocket>(options.controlPath, [&controlled](const std::string& request) {
        return RunControlRequest(controlled, request);
      });
    } catch (const ControlSocketInUse& inUse) {
      throw Failure{vqshared::kExitNoDevice, inUse.what()};
    }
  }
  std::unique_ptr<panel::FrameFeed> feed;
  if (options.httpAddress) feed = std::make_unique<panel::FrameFeed>(controlled);
  for (size_t i = 0; i < readers; ++i) {
    const std::string label = readers > 1 ? "reader " + std::to_string(i + 1) + ": " : "";
    const LineChoice line = options.lines.empty() ? DefaultLine() : options.lines[i];
    PanelTap tap;
    if (feed) {
      tap = [&feed = *feed, i](LineHost::Direction direction, std::span<const uint8_t> bytes) {
        feed.Observe(i, direction == LineHost::Direction::kFromHost ? vqshared::LineDirection::kToReader
                                                                   : vqshared::LineDirection::kToHost,
                     bytes);
      };
    }
    lanes[i]->host = OpenLine(line, lanes[i]->reader, EventsOf(options, label, lanes[i]->recorder.get(), tap, ending),
                              options.takeOver);
  }
  std::string names;
  for (const auto& lane : lanes) names += lane->host->PortName() + "\n";
  // The panel after the lines, whose names it shows; stopped before them.
  std::unique_ptr<panel::PanelApi> api;
  std::unique_ptr<panel::PanelServer> panelServer;
  if (feed) {
    std::vector<panel::PanelApi::Reader> shown;
    for (const auto& lane : lanes) shown.push_back({&lane->reader, lane->host->PortName(), lane->options.timing});
    api = std::make_unique<panel::PanelApi>(std::move(shown), *feed);
    try {
      panelServer = std::make_unique<panel::PanelServer>(*options.httpAddress, *api, *feed);
    } catch (const std::system_error& error) {
      throw Failure{vqshared::kExitNoDevice, error.what()};
    }
    std::fprintf(stderr, "vqhw-sim: panel at %s\n", panelServer->Url().c_str());
  }
  std::fputs(names.c_str(), stdout);
  std::fflush(stdout);
  stop.WaitUntil(std::nullopt);
  panelServer.reset();
  if (options.log) std::fprintf(stderr, "stopping\n");
  for (auto& lane : lanes) lane->host.reset();  // the lines are closed: the fields no longer change
  for (const auto& lane : lanes) {
    if (lane->recorder) lane->recorder->Finish();
  }
  for (const auto& lane : lanes) {
    if (!lane->options.stateFile.empty()) SaveFieldState(lane->options.stateFile, lane->loaded, lane->reader);
  }
  if (const std::string lost = ending.LostLine(); !lost.empty()) throw Failure{vqshared::kExitNoDevice, lost};
  if (replay) return ReplayResult(*replay, options.replayFile);
  return vqshared::kExitSuccess;
}

}  // namespace vqsim::program
