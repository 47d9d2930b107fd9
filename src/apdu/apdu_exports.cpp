// Exports of the APDU exchanges with the CPU user card and the PSAM, as hex
// text. A closed reader is reported like any other failure: the exchange
// answers -7, and the last status becomes it.

#include "VqhwLib.h"
#include "apdu/apdu_channels.h"
#include "apdu/hex_exchanges.h"
#include "api/export_call.h"
#include "api/library_state.h"
#include "api/result_mapping.h"

using namespace vqhw;

namespace {

int32_t RunExchange(const apdu::HexExchange& exchange, const char* apduText, char* text,
                    char* statusText = nullptr) {
  return Report(Library().device.apdu.Exchange(exchange, apduText, text, statusText));
}

}  // namespace

int32_t VQHW_CALL pro_command_h(const char* apduText, char* reply) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunExchange(apdu::kProApduStatusFirstHex, apduText, reply);
}

int32_t VQHW_CALL PRO_COMMAND_H(const char* apduText, char* data, char* statusWord) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunExchange(apdu::kProApduSplitHex, apduText, data, statusWord);
}

int32_t VQHW_CALL sam_command_h(const char* apduText, char* reply) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunExchange(apdu::kSamApduHex, apduText, reply);
}

int32_t VQHW_CALL SAM_COMMAND_H(const char* apduText, char* data, char* statusWord) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunExchange(apdu::kSamApduSplitHex, apduText, data, statusWord);
}
