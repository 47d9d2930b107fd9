// Exports of the APDU exchanges with the CPU user card and the PSAM, as hex
// text. A closed reader is reported like any other failure: the last
// status becomes -7.

#include "VqhwLib.h"
#include "api/library_state.h"
#include "api/result_mapping.h"

using namespace vqhw;

int32_t VQHW_CALL pro_command_h(const char* apdu, char* reply) {
  return Report(Library().device.ProApduStatusFirstHex(apdu, reply));
}

int32_t VQHW_CALL PRO_COMMAND_H(const char* apdu, char* data, char* statusWord) {
  ReaderDevice& device = Library().device;
  return Report(device.WhenOpen([&] { return device.ProApduSplitHex(apdu, data, statusWord); }));
}

int32_t VQHW_CALL sam_command_h(const char* apdu, char* reply) {
  return Report(Library().device.SamApduHex(apdu, reply));
}

int32_t VQHW_CALL SAM_COMMAND_H(const char* apdu, char* data, char* statusWord) {
  ReaderDevice& device = Library().device;
  return Report(device.WhenOpen([&] { return device.SamApduSplitHex(apdu, data, statusWord); }));
}
