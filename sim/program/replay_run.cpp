#include "sim/program/replay_run.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "shared/exit_codes.h"
#include "shared/file_text.h"
#include "sim/program/failure.h"

namespace vqsim::program {

std::shared_ptr<SessionReplay> StartReplay(VirtualReader& reader, const std::string& path,
                                           std::function<void()> onDifference, SessionReplay::Sequence sequence) {
  std::string why;
  const std::optional<std::string> text = vqshared::ReadWholeFile(path, why);
  if (!text) throw Failure{vqshared::kExitNoInput, path + ": cannot be read: " + why};
  std::vector<RecordedBytes> record;
  try {
    record = ParseSessionRecord(*text);
  } catch (const SessionRecordError& error) {
    throw Failure{vqshared::kExitBadFile, path + ": " + error.what()};
  }
  auto replay = std::make_shared<SessionReplay>(std::move(record), std::move(onDifference), sequence);
  reader.SetReplay(replay);
  return replay;
}

int ReplayResult(const SessionReplay& replay, const std::string& path) {
  const auto difference = replay.DifferenceAtEnd();
  if (!difference) {
    std::fprintf(stderr, "vqhw-sim: %zu commands as recorded in %s\n", replay.RecordedCommands(), path.c_str());
    return 0;
  }
  std::fprintf(stderr, "vqhw-sim: command frame %zu differs from %s", difference->command, path.c_str());
  if (difference->line > 0) std::fprintf(stderr, " line %d", difference->line);
  std::fprintf(stderr, ":\n  expected %s\n  got      %s\n", difference->expected.c_str(), difference->got.c_str());
  return vqshared::kExitReplayDiffers;
}

}  // namespace vqsim::program
