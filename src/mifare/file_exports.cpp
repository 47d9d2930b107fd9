// Exports of the card files. readfile and writefile try once more after any
// failure: a pause, a re-activation of whatever card is in the field (its
// record becomes the current card's), and the operation again.

#include <chrono>
#include <thread>

#include "VqhwLib.h"
#include "api/library_state.h"
#include "api/result_mapping.h"

using namespace vqhw;

namespace {

constexpr std::chrono::milliseconds kPauseBeforeRetry{100};

// A missing identifier or buffer is refused before anything is sent, and
// without the retry, which would send an activation.
ReaderStatus CheckBuffers(const char* fileId, const char* keyId, const void* data) {
  if (fileId == nullptr) return status::kArgument1;
  if (keyId == nullptr) return status::kArgument2;
  if (data == nullptr) return status::kArgument5;
  return status::kOk;
}

// The guard, the buffer checks, then `operation`; every step's status is
// stored as the last one.
template <typename Operation>
int32_t RunFileExport(const char* fileId, const char* keyId, const void* data, bool retry,
                      Operation operation) {
  LibraryState& library = Library();
  if (!library.device.isOpen) return ToApiResult(status::kNotOpen);
  if (ReaderStatus refused = CheckBuffers(fileId, keyId, data)) return Report(refused);
  library.lastStatus = operation(library.device);
  if (library.lastStatus == status::kOk || !retry) return ToApiResult(library.lastStatus);
  std::this_thread::sleep_for(kPauseBeforeRetry);
  library.lastStatus = library.device.ActivateCard(library.currentCardSerial);
  if (library.lastStatus == status::kOk) library.lastStatus = operation(library.device);
  return ToApiResult(library.lastStatus);
}

// 0x83, and 0x82 after it when it succeeded.
template <typename Write>
ReaderStatus PrepareAndWrite(ReaderDevice& device, const char* fileId, const char* keyId,
                             Write write) {
  const ReaderStatus prepared = device.PrepareCardFileWriteById(fileId, keyId);
  return prepared != status::kOk ? prepared : write(device);
}

}  // namespace

int32_t VQHW_CALL readfile(const char* fileId, const char* keyId, int32_t offset, int32_t length,
                           unsigned char* data) {
  return RunFileExport(fileId, keyId, data, true, [&](ReaderDevice& device) {
    return device.ReadCardFileById(fileId, keyId, offset, length, data);
  });
}

int32_t VQHW_CALL readfile_h(const char* fileId, const char* keyId, int32_t offset,
                             int32_t length, char* text) {
  return RunFileExport(fileId, keyId, text, false, [&](ReaderDevice& device) {
    return device.ReadCardFileHex(fileId, keyId, offset, length, text);
  });
}

int32_t VQHW_CALL writefile(const char* fileId, const char* keyId, int32_t offset, int32_t length,
                            const unsigned char* data) {
  return RunFileExport(fileId, keyId, data, true, [&](ReaderDevice& device) {
    return PrepareAndWrite(device, fileId, keyId, [&](ReaderDevice& d) {
      return d.WriteCardFileById(fileId, keyId, offset, length, data);
    });
  });
}

int32_t VQHW_CALL writefile_h(const char* fileId, const char* keyId, int32_t offset,
                              int32_t length, const char* text) {
  return RunFileExport(fileId, keyId, text, false, [&](ReaderDevice& device) {
    return PrepareAndWrite(device, fileId, keyId, [&](ReaderDevice& d) {
      return d.WriteCardFileHex(fileId, keyId, offset, length, text);
    });
  });
}
