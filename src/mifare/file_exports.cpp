// Exports of the card files. readfile and writefile try once more after any
// failure: a pause, a re-activation of whatever card is in the field (its
// record becomes the current card's), and the operation again.

#include <chrono>
#include <thread>

#include "VqhwLib.h"
#include "api/export_call.h"
#include "api/library_state.h"
#include "api/result_mapping.h"
#include "mifare/mifare_one.h"

using namespace vqhw;

namespace {

constexpr std::chrono::milliseconds kPauseBeforeRetry{100};

enum class Retry : bool { kNever, kOnce };

// The guard (a closed reader leaves the last status alone), the buffers,
// then `operation`, and once more after a failure when `retry` says so;
// every step's status is stored as the last one. A missing identifier or
// buffer is refused before anything is sent and without the retry, whose
// activation would reach the card for nothing.
template <typename Operation>
int32_t RunFileExport(const char* fileId, const char* keyId, const void* data, Retry retry,
                      Operation operation) {
  LibraryState& library = Library();
  if (!library.device.link.IsOpen()) return ToApiResult(status::kNotOpen);
  if (fileId == nullptr) return Report(status::kArgument1);
  if (keyId == nullptr) return Report(status::kArgument2);
  if (data == nullptr) return Report(status::kArgument5);
  MifareOne& card = library.device.mifare;
  library.lastStatus = operation(card);
  if (library.lastStatus == status::kOk || retry == Retry::kNever) {
    return ToApiResult(library.lastStatus);
  }
  std::this_thread::sleep_for(kPauseBeforeRetry);
  library.lastStatus = card.ActivateCard(library.currentCardSerial);
  if (library.lastStatus == status::kOk) library.lastStatus = operation(card);
  return ToApiResult(library.lastStatus);
}

// 0x83, and the write after it when it succeeded.
template <typename Write>
ReaderStatus PrepareAndWrite(MifareOne& card, const char* fileId, const char* keyId, Write write) {
  const ReaderStatus prepared = card.PrepareCardFileWriteById(fileId, keyId);
  return prepared != status::kOk ? prepared : write();
}

}  // namespace

int32_t VQHW_CALL readfile(const char* fileId, const char* keyId, int32_t offset, int32_t length,
                           unsigned char* data) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunFileExport(fileId, keyId, data, Retry::kOnce, [&](MifareOne& card) {
    return card.ReadCardFileById(fileId, keyId, offset, length, data);
  });
}

int32_t VQHW_CALL readfile_h(const char* fileId, const char* keyId, int32_t offset,
                             int32_t length, char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunFileExport(fileId, keyId, text, Retry::kNever, [&](MifareOne& card) {
    return card.ReadCardFileHex(fileId, keyId, offset, length, text);
  });
}

int32_t VQHW_CALL writefile(const char* fileId, const char* keyId, int32_t offset, int32_t length,
                            const unsigned char* data) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunFileExport(fileId, keyId, data, Retry::kOnce, [&](MifareOne& card) {
    return PrepareAndWrite(card, fileId, keyId,
                           [&] { return card.WriteCardFileById(fileId, keyId, offset, length, data); });
  });
}

int32_t VQHW_CALL writefile_h(const char* fileId, const char* keyId, int32_t offset,
                              int32_t length, const char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return RunFileExport(fileId, keyId, text, Retry::kNever, [&](MifareOne& card) {
    return PrepareAndWrite(card, fileId, keyId,
                           [&] { return card.WriteCardFileHex(fileId, keyId, offset, length, text); });
  });
}
