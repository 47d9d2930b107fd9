#include "sim/commands/reader_control_commands.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>

#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

constexpr std::array<uint8_t, 3> kProbePattern{0xAA, 0xAA, 0xAA};

Reply Probe(ReaderState&, std::span<const uint8_t> data) {
  return {std::ranges::equal(data, kProbePattern) ? status::kSuccess : status::kBadArguments, {}};
}

// A PSAM in the slot without a model still answers its reset.
Reply ResetPsam(ReaderState& state, std::span<const uint8_t>) {
  if (!state.psamPresent) return {status::kPsamTimeout, {}};
  if (state.psam) state.psam->Reset();
  return {status::kSuccess, {}};
}

// Only a selected card that speaks APDUs has a reset of its own.
Reply ResetCpuCard(ReaderState& state, std::span<const uint8_t>) {
  auto card = std::dynamic_pointer_cast<ApduCard>(state.field.Selected());
  if (!card) return {status::kNoCard, {}};
  card->Reset();
  return {status::kSuccess, {}};
}

// Field off and on: every card loses power and the selection.
Reply ResetField(ReaderState& state, std::span<const uint8_t>) {
  state.field.Reset();
  return {status::kSuccess, {}};
}

// What the three bytes drive (lights, sound, display) is not modelled.
Reply RecordControlValues(ReaderState& state, std::span<const uint8_t> data) {
  std::ranges::copy(data, state.controlValues.begin());
  return {status::kSuccess, {}};
}

// Host line-speed codes 1 to 4. The reader answers at the old speed and
// listens at the new one after its answer.
constexpr uint32_t kHostLineSpeeds[] = {9600, 19200, 38400, 115200};

Reply SetHostLineSpeed(ReaderState& state, std::span<const uint8_t> data) {
  if (data[0] < 1 || data[0] > std::size(kHostLineSpeeds)) return {status::kBadArguments, {}};
  state.hostLineBaud = kHostLineSpeeds[data[0] - 1];
  return {status::kSuccess, {}};
}

// Second-line codes 1 (9600) and 2 (38400): that line is not modelled.
Reply AcceptSecondLineSpeed(ReaderState&, std::span<const uint8_t> data) {
  const bool known = data[0] >= 1 && data[0] <= 2;
  return {known ? status::kSuccess : status::kBadArguments, {}};
}

constexpr CommandEntry kEntries[] = {
    {0x70, 3, Probe},                // probe, data AA AA AA
    {0x71, 1, SetHostLineSpeed},     // host line speed code
    {0x72, 0, ResetField},           // RF field reset
    {0x73, 0, ResetPsam},            // PSAM reset
    {0x74, 3, RecordControlValues},  // three control bytes
    {0x75, 1, AcceptSecondLineSpeed},  // second line speed code
    {0x76, 0, ResetCpuCard},         // CPU card reset
};

}  // namespace

std::span<const CommandEntry> ReaderControlCommands() { return kEntries; }

}  // namespace vqsim
