// Lane scenario files on any text: a scenario either loads or is refused
// with a FieldFileError (any other exception escapes and is a finding). A
// scenario that loads then meets a lane's commands, so that its events
// fire: activation, key and block commands, a purse APDU and the PSAM.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "sim/files/field_file.h"
#include "sim/files/scenario_file.h"

namespace {

// FF, sequence, command, length, data, and the check byte over all but FF.
std::vector<uint8_t> Frame(uint8_t sequence, uint8_t command, std::initializer_list<uint8_t> data) {
  std::vector<uint8_t> frame{0xFF, sequence, command, static_cast<uint8_t>(data.size())};
  for (uint8_t byte : data) frame.push_back(byte);
  uint8_t check = 0;
  for (size_t i = 1; i < frame.size(); ++i) check ^= frame[i];
  frame.push_back(static_cast<uint8_t>(~check));
  return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vqsim::VirtualReader reader;
  try {
    vqsim::LoadScenario(std::string_view(reinterpret_cast<const char*>(data), size), reader);
  } catch (const vqsim::FieldFileError&) {
    return 0;
  }
  const std::array<std::vector<uint8_t>, 8> lane{
      Frame(0, 0x73, {}),                                                  // PSAM reset
      Frame(1, 0x80, {}),                                                  // activate
      Frame(2, 0x56, {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),    // load key
      Frame(3, 0x51, {0x04}),                                              // read block 4
      Frame(4, 0x52, {0x05, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC,
                      0xDD, 0xEE, 0xFF}),                                  // write block 5
      Frame(5, 0x76, {}),                                                  // CPU card reset
      Frame(6, 0x60, {0x80, 0x5C, 0x00, 0x02, 0x04}),                      // GET BALANCE
      Frame(7, 0x61, {0x00, 0xB0, 0x96, 0x00, 0x06}),                      // PSAM: terminal number
  };
  for (int round = 0; round < 2; ++round) {
    for (const std::vector<uint8_t>& frame : lane) reader.Receive(frame);
  }
  return 0;
}
