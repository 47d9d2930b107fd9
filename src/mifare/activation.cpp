// Activating a card in the antenna field: in one step (0x80) or in the three
// steps request, anticollision, select; and what kind of card was seen.

#include <cstring>

#include "mifare/mifare_layout.h"
#include "mifare/mifare_one.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "util/hex_codec.h"

namespace vqhw {

namespace {

constexpr uint8_t kMifareOneAnswerToRequest = 0x04;

int32_t KindOfSak(uint8_t sak) {
  return sak == mifare::kMifareOneSak ? CardKindRule::kMifareOne : CardKindRule::kMifarePro;
}

}  // namespace

ReaderStatus MifareOne::ActivateCard(uint8_t* record) {
  if (record == nullptr) return status::kArgument1;
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Run(command::kActivate, nullptr, 0, response);
  if (result != status::kOk) return result;
  std::memcpy(record, response + frame::kData, mifare::kRecordSize);
  cardKind.SetDetectedCardKind(KindOfSak(record[mifare::kSerialSize]));
  return status::kOk;
}

ReaderStatus MifareOne::ActivateCardHex(char* text) {
  if (text == nullptr) return status::kArgument1;
  uint8_t record[mifare::kRecordSize];
  const ReaderStatus result = ActivateCard(record);
  if (result == status::kOk) BytesToHex(record, text, mifare::kRecordSize);
  return result;
}

ReaderStatus MifareOne::Request(int32_t mode, uint8_t* answer) {
  if (answer == nullptr) return status::kArgument2;
  const uint8_t data[] = {static_cast<uint8_t>(mode)};
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Run(command::kRequest, data, sizeof data, response);
  if (result != status::kOk) return result;
  answer[0] = response[frame::kData];
  answer[1] = response[frame::kData + 1];
  cardKind.SetDetectedCardKind(answer[0] == kMifareOneAnswerToRequest ? CardKindRule::kMifareOne
                                                                      : CardKindRule::kMifarePro);
  return status::kOk;
}

ReaderStatus MifareOne::Anticollision(uint8_t* serial) {
  if (serial == nullptr) return status::kArgument1;
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Run(command::kAnticollision, nullptr, 0, response);
  if (result != status::kOk) return result;
  std::memcpy(serial, response + frame::kData, mifare::kSerialSize);
  return status::kOk;
}

ReaderStatus MifareOne::Select(const uint8_t* serial, uint8_t* sak) {
  if (serial == nullptr) return status::kArgument1;
  if (sak == nullptr) return status::kArgument2;
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Run(command::kSelect, serial, mifare::kSerialSize, response);
  if (result != status::kOk) return result;
  *sak = response[frame::kData];
  cardKind.SetDetectedCardKind(KindOfSak(*sak));
  return cardKind.CheckCardKind();
}

ReaderStatus MifareOne::Select(const uint8_t* serial) {
  uint8_t sak;
  return Select(serial, &sak);
}

ReaderStatus MifareOne::ActivateStepwise(int32_t mode, uint8_t* answer, uint8_t* serial,
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

ReaderStatus MifareOne::ActivateStepwise(int32_t mode, uint8_t* serial) {
  uint8_t answer[2];
  uint8_t sak;
  if (serial == nullptr) return status::kArgument2;
  return ActivateStepwise(mode, answer, serial, &sak);
}

ReaderStatus MifareOne::ActivateStepwise(int32_t mode) {
  uint8_t serial[mifare::kSerialSize];
  return ActivateStepwise(mode, serial);
}

}  // namespace vqhw
