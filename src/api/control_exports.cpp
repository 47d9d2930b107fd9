// Exports of the reader's own commands.

#include <chrono>
#include <thread>

#include "VqhwLib.h"
#include "api/export_call.h"
#include "api/library_state.h"
#include "api/result_mapping.h"
#include "protocol/card_kind_rule.h"
#include "protocol/reader_control.h"
#include "protocol/reader_link.h"

using namespace vqhw;

namespace {
constexpr std::chrono::milliseconds kPauseAfterFieldReset{100};
}

int32_t VQHW_CALL RF_reset_h(void) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.control.ResetRfField());
}

int32_t VQHW_CALL SAM_reset_h(void) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.link.ResetPsam());
}

int32_t VQHW_CALL PRO_reset_h(void) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.control.ResetProCard());
}

int32_t VQHW_CALL set_mmi(int32_t first, int32_t second, int32_t third) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.control.SetMmi(first, second, third));
}

// Ends the work with a card; only the last status tells how the reset went.
int32_t VQHW_CALL closecard(void) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  Library().lastStatus = Library().device.control.ResetRfField();
  std::this_thread::sleep_for(kPauseAfterFieldReset);
  return 0;
}

// Not mapped: 0, or -1 for a character other than '0', '1', '2'.
int32_t VQHW_CALL SelectCardType(int32_t kindCharacter) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  Library().lastStatus = Library().device.cardKind.SetCardKind(kindCharacter);
  return Library().lastStatus;
}
