// Keys held by the reader, authentication of a sector, and single blocks.
// The library keeps no key and no authentication state: the reader and the
// card do, and refuse a block of a sector not authenticated. And Run, the
// one way the family's commands reach the link.

#include <cstring>

#include "mifare/answer_sizes.h"
#include "mifare/mifare_layout.h"
#include "mifare/mifare_one.h"
#include "protocol/commands.h"
#include "protocol/frame.h"

namespace vqhw {

ReaderStatus MifareOne::Run(uint8_t command, const uint8_t* request, int32_t count,
                            uint8_t* response) {
  return link.Command(command, request, count, response,
                      mifare::AnswerDataSize(command, request, count));
}

ReaderStatus MifareOne::LoadKey(int32_t keyType, int32_t sector, const uint8_t* key) {
  if (!mifare::IsKeyType(keyType)) return status::kArgument1;
  if (!mifare::IsSector(sector)) return status::kArgument2;
  if (key == nullptr) return status::kArgument3;
  uint8_t data[2 + mifare::kKeySize] = {static_cast<uint8_t>(keyType), static_cast<uint8_t>(sector)};
  std::memcpy(data + 2, key, mifare::kKeySize);
  uint8_t response[kFrameBufferSize];
  return Run(command::kLoadKey, data, sizeof data, response);
}

ReaderStatus MifareOne::Authenticate(const uint8_t* serial, int32_t keyType, int32_t sector,
                                     int32_t block) {
  if (serial == nullptr) return status::kArgument1;
  if (!mifare::IsKeyType(keyType)) return status::kArgument2;
  if (!mifare::IsSector(sector)) return status::kArgument3;
  if (!mifare::IsBlock(block)) return status::kArgument4;
  uint8_t data[mifare::kSerialSize + 3];
  std::memcpy(data, serial, mifare::kSerialSize);
  data[4] = static_cast<uint8_t>(keyType);
  data[5] = static_cast<uint8_t>(sector);
  data[6] = static_cast<uint8_t>(block);
  uint8_t response[kFrameBufferSize];
  return Run(command::kAuthenticate, data, sizeof data, response);
}

ReaderStatus MifareOne::ReadBlock(int32_t block, uint8_t* data) {
  if (!mifare::IsBlock(block)) return status::kArgument1;
  if (data == nullptr) return status::kArgument3;
  std::memset(data, 0, 4);
  const uint8_t request[] = {static_cast<uint8_t>(block)};
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Run(command::kReadBlock, request, sizeof request, response);
  if (result != status::kOk) return result;
  std::memcpy(data, response + frame::kData, mifare::kBlockSize);
  return status::kOk;
}

ReaderStatus MifareOne::WriteBlock(int32_t block, const uint8_t* data) {
  if (!mifare::IsBlock(block)) return status::kArgument2;
  if (data == nullptr) return status::kArgument3;
  return SendBlock(block, data);
}

ReaderStatus MifareOne::SendBlock(int32_t block, const uint8_t* data) {
  uint8_t request[1 + mifare::kBlockSize] = {static_cast<uint8_t>(block)};
  std::memcpy(request + 1, data, mifare::kBlockSize);
  uint8_t response[kFrameBufferSize];
  return Run(command::kWriteBlock, request, sizeof request, response);
}

}  // namespace vqhw
