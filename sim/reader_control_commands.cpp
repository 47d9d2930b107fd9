#include "sim/reader_control_commands.h"

#include <algorithm>
#include <array>

#include "sim/status_bytes.h"

namespace vqsim {
namespace {

constexpr std::array<uint8_t, 3> kProbePattern{0xAA, 0xAA, 0xAA};

Reply Probe(ReaderState&, std::span<const uint8_t> data) {
  return {std::ranges::equal(data, kProbePattern) ? status::kSuccess : status::kBadArguments, {}};
}

Reply Succeed(ReaderState&, std::span<const uint8_t>) { return {status::kSuccess, {}}; }

Reply ResetPsam(ReaderState& state, std::span<const uint8_t>) {
  return {state.psamPresent ? status::kSuccess : status::kPsamTimeout, {}};
}

// No CPU card can be in the field yet.
Reply ResetCpuCard(ReaderState&, std::span<const uint8_t>) { return {status::kNoCard, {}}; }

constexpr CommandEntry kEntries[] = {
    {0x70, 3, Probe},         // probe, data AA AA AA
    {0x72, 0, Succeed},       // RF field reset
    {0x73, 0, ResetPsam},     // PSAM reset
    {0x74, 3, Succeed},       // three control bytes
    {0x76, 0, ResetCpuCard},  // CPU card reset
};

}  // namespace

std::span<const CommandEntry> ReaderControlCommands() { return kEntries; }

}  // namespace vqsim
