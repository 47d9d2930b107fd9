// Value-block commands: formatting a block as a value block, and the value
// operations that the reader carries out on the card. The library keeps no
// state for them and sends them whenever asked.

#include "mifare/mifare_layout.h"
#include "mifare/mifare_one.h"
#include "mifare/value_block_image.h"
#include "protocol/commands.h"

namespace vqhw {

namespace {

ReaderStatus CheckBlockPair(int32_t source, int32_t destination) {
  if (!mifare::IsBlock(source)) return status::kArgument1;
  if (!mifare::IsBlock(destination)) return status::kArgument2;
  return status::kOk;
}

// Source, destination and the amount, least significant byte first.
struct ValueRequest {
  uint8_t bytes[6];
};
ValueRequest ValueRequestOf(int32_t source, int32_t destination, uint32_t amount) {
  ValueRequest request{{static_cast<uint8_t>(source), static_cast<uint8_t>(destination)}};
  mifare::PutLittleEndian(amount, request.bytes + 2);
  return request;
}

}  // namespace

ReaderStatus MifareOne::SendValueOperation(uint8_t command, int32_t source, int32_t destination,
                                           uint32_t amount) {
  if (ReaderStatus refused = CheckBlockPair(source, destination)) return refused;
  const ValueRequest request = ValueRequestOf(source, destination, amount);
  uint8_t response[kFrameBufferSize];
  return Run(command, request.bytes, sizeof request.bytes, response);
}

ReaderStatus MifareOne::WriteValueBlock(int32_t block, uint32_t amount) {
  // Refused as the first argument here, where WriteBlock says second.
  if (!mifare::IsBlock(block)) return status::kArgument1;
  return SendBlock(block, mifare::ValueBlockImage(amount).data());
}

ReaderStatus MifareOne::DecrementValue(int32_t source, int32_t destination, uint32_t amount) {
  return SendValueOperation(command::kDecrementValue, source, destination, amount);
}

ReaderStatus MifareOne::IncrementValue(int32_t source, int32_t destination, uint32_t amount) {
  return SendValueOperation(command::kIncrementValue, source, destination, amount);
}

ReaderStatus MifareOne::RestoreValue(int32_t source, int32_t destination) {
  if (ReaderStatus refused = CheckBlockPair(source, destination)) return refused;
  const uint8_t request[] = {static_cast<uint8_t>(source), static_cast<uint8_t>(destination)};
  uint8_t response[kFrameBufferSize];
  return Run(command::kRestoreValue, request, sizeof request, response);
}

ReaderStatus MifareOne::HaltCard() {
  uint8_t response[kFrameBufferSize];
  return Run(command::kHalt, nullptr, 0, response);
}

}  // namespace vqhw
