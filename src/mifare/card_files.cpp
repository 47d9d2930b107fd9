// The reader's file commands: a file number and a key selector name a byte
// range of the card, which the reader authenticates and reads or writes in
// one command. The file commands apply the card-kind rule after success.

#include <cstring>

#include "mifare/file_address.h"
#include "protocol/commands.h"
#include "protocol/reader_device.h"

namespace vqhw {

namespace {
constexpr int32_t kFileHeaderSize = 4;  // file number, key selector, offset, length
// The longest write that fits one command frame.
constexpr int32_t kMaxFileWrite = kMaxCommandData - kFileHeaderSize;

// Both identifiers, in argument order; 0 when both are there.
ReaderStatus CheckIdentifiers(const char* fileId, const char* keyId) {
  if (fileId == nullptr) return status::kArgument1;
  if (keyId == nullptr) return status::kArgument2;
  return status::kOk;
}
}  // namespace

ReaderStatus ReaderDevice::ReadCardFile(int32_t fileNumber, int32_t keySelector, int32_t offset,
                                        int32_t length, uint8_t* data) {
  if (data == nullptr) return status::kArgument5;
  std::memset(data, 0, 4);
  if (!isOpen) return status::kNotOpen;
  if (fileNumber < 0 || fileNumber > mifare::kHighestReadableFile) return status::kArgument1;
  if (offset < 0 || offset > mifare::kFileSize) return status::kArgument3;
  // A negative length would pass the sum test and copy a huge count.
  if (length < 0 || length > mifare::kFileSize - offset) return status::kArgument4;
  const uint8_t request[kFileHeaderSize] = {
      static_cast<uint8_t>(fileNumber), static_cast<uint8_t>(keySelector),
      static_cast<uint8_t>(offset), static_cast<uint8_t>(length)};
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Command(command::kReadFile, request, sizeof request, response);
  if (result != status::kOk) return result;
  std::memcpy(data, response + frame::kData, static_cast<size_t>(length));
  return CheckCardKind();
}

ReaderStatus ReaderDevice::WriteCardFile(int32_t fileNumber, int32_t keySelector, int32_t offset,
                                         int32_t length, const uint8_t* data) {
  if (data == nullptr) return status::kArgument5;
  if (!isOpen) return status::kNotOpen;
  if (length < 0 || length > kMaxFileWrite) return status::kArgument4;
  uint8_t request[kMaxCommandData] = {
      static_cast<uint8_t>(fileNumber), static_cast<uint8_t>(keySelector),
      static_cast<uint8_t>(offset), static_cast<uint8_t>(length)};
  std::memcpy(request + kFileHeaderSize, data, static_cast<size_t>(length));
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Command(command::kWriteFile, request, kFileHeaderSize + length, response);
  if (result != status::kOk) return result;
  return CheckCardKind();
}

ReaderStatus ReaderDevice::PrepareCardFileWrite(int32_t fileNumber, int32_t keySelector) {
  if (!isOpen) return status::kNotOpen;
  const uint8_t request[] = {static_cast<uint8_t>(fileNumber), static_cast<uint8_t>(keySelector)};
  uint8_t response[kFrameBufferSize];
  return Command(command::kPrepareFileWrite, request, sizeof request, response);
}

ReaderStatus ReaderDevice::ReadCardFileById(const char* fileId, const char* keyId, int32_t offset,
                                            int32_t length, uint8_t* data) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (data == nullptr) return status::kArgument5;
  std::memset(data, 0, 4);
  if (!isOpen) return status::kNotOpen;
  const mifare::FileAddress file = mifare::DecodeFileAddress(fileId, keyId);
  return ReadCardFile(file.fileNumber, file.keySelector, offset, length, data);
}

ReaderStatus ReaderDevice::WriteCardFileById(const char* fileId, const char* keyId,
                                             int32_t offset, int32_t length,
                                             const uint8_t* data) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (!isOpen) return status::kNotOpen;
  const mifare::FileAddress file = mifare::DecodeFileAddress(fileId, keyId);
  return WriteCardFile(file.fileNumber, file.keySelector, offset, length, data);
}

ReaderStatus ReaderDevice::PrepareCardFileWriteById(const char* fileId, const char* keyId) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (!isOpen) return status::kNotOpen;
  const mifare::FileAddress file = mifare::DecodeFileAddress(fileId, keyId);
  return PrepareCardFileWrite(file.fileNumber, file.keySelector);
}

ReaderStatus ReaderDevice::ReadCardFileHex(const char* fileId, const char* keyId, int32_t offset,
                                           int32_t length, char* text) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (text == nullptr) return status::kArgument5;
  std::memset(text, 0, 4);
  uint8_t data[kFrameBufferSize] = {};
  const ReaderStatus result = ReadCardFileById(fileId, keyId, offset, length, data);
  if (result == status::kOk) BytesToHex(data, text, length);
  return result;
}

// The data text must be hex digits throughout (blanks between pairs and
// one odd digit at the end aside); the caller's length, not the number of
// bytes decoded, is what is written, so a short text writes zeros after
// its bytes.
ReaderStatus ReaderDevice::WriteCardFileHex(const char* fileId, const char* keyId,
                                            int32_t offset, int32_t length,
                                            const char* dataText) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (dataText == nullptr) return status::kArgument5;
  if (!isOpen) return status::kNotOpen;
  uint8_t data[kFrameBufferSize] = {};
  const int32_t decoded = HexToBytes(dataText, data, nullptr);
  if (static_cast<size_t>(decoded) != std::strlen(dataText) / 2) {
    return status::kIllegalCharacters;
  }
  return WriteCardFileById(fileId, keyId, offset, length, data);
}

}  // namespace vqhw
