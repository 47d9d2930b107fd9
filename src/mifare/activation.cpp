// Activating a card in the antenna field: in one step (0x80) or in the three
// steps request, anticollision, select; and what kind of card was seen.

#include <cstring>

#include "mifare/mifare_layout.h"
#include "protocol/commands.h"
#include "protocol/reader_device.h"

namespace vqhw {

namespace {

int32_t KindOfSak(uint8_t sak) {
  return sak == mifare::kMifareOneSak ? ReaderDevice::kMifareOne : ReaderDevice::kMifarePro;
}
}  // namespace

ReaderStatus ReaderDevice::ActivateCard(uint8_t* record) {
  if (record == nullptr) return status::kArgument1;
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Command(command::kActivate, nullptr, 0, response);
  if (result != status::kOk) return result;
  std::memcpy(record, response + frame::kData, mifare::kRecordSize);
  detectedCardKind = KindOfSak(record[mifare::kSerialSize]);
  return status::kOk;
}

ReaderStatus ReaderDevice::ActivateCardHex(char* text) {
  if (text == nullptr) return status::kArgument1;
  uint8_t record[mifare::kRecordSize];
  const ReaderStatus result = ActivateCard(record);
  if (result == status::kOk) BytesToHex(record, text, mifare::kRecordSize);
  return result;
}

ReaderStatus ReaderDevice::Anticollision(uint8_t* serial) {
  if (serial == nullptr) return status::kArgument1;
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Command(command::kAnticollision, nullptr, 0, response);
  if (result != status::kOk) return result;
  std::memcpy(serial, response + frame::kData, mifare::kSerialSize);
  return status::kOk;
}

ReaderStatus ReaderDevice::Select(const uint8_t* serial, uint8_t* sak) {
  if (serial == nullptr) return status::kArgument1;
  if (sak == nullptr) return status::kArgument2;
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Command(command::kSelect, serial, mifare::kSerialSize, response);
  if (result != status::kOk) return result;
  *sak = response[frame::kData];
  detectedCardKind = KindOfSak(*sak);
  return CheckCardKind();
}

ReaderStatus ReaderDevice::Select(const uint8_t* serial) {
  uint8_t sak;
  return Select(serial, &sak);
}

ReaderStatus ReaderDevice::ActivateStepwise(int32_t mode, uint8_t* answer, uint8_t* serial,
                                            uint8_t* sak) {
  if (answer == nullptr) return status::kArgument2;
  if (serial == nullptr) return status::kArgument3;
  if (sak == nullptr) return status::kArgument4;
  ReaderStatus result = Request(mode, answer);
  if (result != status::kOk) return result;
  result = Anticollision(serial);
  if (result != status::kOk) return result;
  return Select(serial, sak);
}

ReaderStatus ReaderDevice::ActivateStepwise(int32_t mode, uint8_t* serial) {
  uint8_t answer[2];
  uint8_t sak;
  if (serial == nullptr) return status::kArgument2;
  return ActivateStepwise(mode, answer, serial, &sak);
}

ReaderStatus ReaderDevice::ActivateStepwise(int32_t mode) {
  uint8_t serial[mifare::kSerialSize];
  return ActivateStepwise(mode, serial);
}

}  // namespace vqhw
