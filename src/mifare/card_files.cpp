// The reader's file commands: a file number and a key selector name a byte
// range of the card, which the reader authenticates and reads or writes in
// one command. Each entry checks its own arguments and hands the address to
// the one read or write below it.

#include <cstring>

#include "mifare/mifare_one.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "util/hex_codec.h"

namespace vqhw {

namespace {

constexpr int32_t kFileHeaderSize = 4;  // file number, key selector, offset, length
// The longest write that fits one command frame.
constexpr int32_t kMaxFileWrite = kMaxCommandData - kFileHeaderSize;
// The largest offset the write command's offset byte can carry.
constexpr int32_t kMaxByteOffset = 0xFF;
// The bytes of an output cleared before anything else.
constexpr size_t kClearedOutputBytes = 4;

// Both identifiers, in argument order; 0 when both are there.
ReaderStatus CheckIdentifiers(const char* fileId, const char* keyId) {
  if (fileId == nullptr) return status::kArgument1;
  if (keyId == nullptr) return status::kArgument2;
  return status::kOk;
}

}  // namespace

ReaderStatus MifareOne::ReadFile(mifare::FileAddress file, int32_t offset, int32_t length,
                                 uint8_t* data) {
  if (file.fileNumber < 0 || file.fileNumber > mifare::kHighestReadableFile) {
    return status::kArgument1;
  }
  if (offset < 0 || offset > mifare::kFileSize) return status::kArgument3;
  // A negative length would pass the sum test and copy a huge count.
  if (length < 0 || length > mifare::kFileSize - offset) return status::kArgument4;
  const uint8_t request[kFileHeaderSize] = {
      static_cast<uint8_t>(file.fileNumber), static_cast<uint8_t>(file.keySelector),
      static_cast<uint8_t>(offset), static_cast<uint8_t>(length)};
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result = Run(command::kReadFile, request, sizeof request, response);
  if (result != status::kOk) return result;
  std::memcpy(data, response + frame::kData, static_cast<size_t>(length));
  // After the copy: a refused card kind leaves the data with the caller.
  return cardKind.CheckCardKind();
}

ReaderStatus MifareOne::WriteFile(mifare::FileAddress file, int32_t offset, int32_t length,
                                  const uint8_t* data) {
  // The offset travels as one byte: 256 would write at 0 and succeed.
  if (offset < 0 || offset > kMaxByteOffset) return status::kArgument3;
  if (length < 0 || length > kMaxFileWrite) return status::kArgument4;
  uint8_t request[kMaxCommandData] = {
      static_cast<uint8_t>(file.fileNumber), static_cast<uint8_t>(file.keySelector),
      static_cast<uint8_t>(offset), static_cast<uint8_t>(length)};
  std::memcpy(request + kFileHeaderSize, data, static_cast<size_t>(length));
  uint8_t response[kFrameBufferSize];
  const ReaderStatus result =
      Run(command::kWriteFile, request, kFileHeaderSize + length, response);
  if (result != status::kOk) return result;
  return cardKind.CheckCardKind();
}

ReaderStatus MifareOne::ReadCardFile(int32_t fileNumber, int32_t keySelector, int32_t offset,
                                     int32_t length, uint8_t* data) {
  if (data == nullptr) return status::kArgument5;
  std::memset(data, 0, kClearedOutputBytes);
  return ReadFile({fileNumber, keySelector}, offset, length, data);
}

ReaderStatus MifareOne::WriteCardFile(int32_t fileNumber, int32_t keySelector, int32_t offset,
                                      int32_t length, const uint8_t* data) {
  if (data == nullptr) return status::kArgument5;
  return WriteFile({fileNumber, keySelector}, offset, length, data);
}

ReaderStatus MifareOne::PrepareCardFileWrite(int32_t fileNumber, int32_t keySelector) {
  const uint8_t request[] = {static_cast<uint8_t>(fileNumber), static_cast<uint8_t>(keySelector)};
  uint8_t response[kFrameBufferSize];
  return Run(command::kPrepareFileWrite, request, sizeof request, response);
}

ReaderStatus MifareOne::ReadCardFileById(const char* fileId, const char* keyId, int32_t offset,
                                         int32_t length, uint8_t* data) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (data == nullptr) return status::kArgument5;
  std::memset(data, 0, kClearedOutputBytes);
  return ReadFile(mifare::DecodeFileAddress(fileId, keyId), offset, length, data);
}

ReaderStatus MifareOne::WriteCardFileById(const char* fileId, const char* keyId, int32_t offset,
                                          int32_t length, const uint8_t* data) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (data == nullptr) return status::kArgument5;
  return WriteFile(mifare::DecodeFileAddress(fileId, keyId), offset, length, data);
}

ReaderStatus MifareOne::PrepareCardFileWriteById(const char* fileId, const char* keyId) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  const mifare::FileAddress file = mifare::DecodeFileAddress(fileId, keyId);
  return PrepareCardFileWrite(file.fileNumber, file.keySelector);
}

ReaderStatus MifareOne::ReadCardFileHex(const char* fileId, const char* keyId, int32_t offset,
                                        int32_t length, char* text) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (text == nullptr) return status::kArgument5;
  std::memset(text, 0, kClearedOutputBytes);
  uint8_t data[kFrameBufferSize] = {};
  const ReaderStatus result = ReadFile(mifare::DecodeFileAddress(fileId, keyId), offset, length, data);
  if (result == status::kOk) BytesToHex(data, text, length);
  return result;
}

// The data text must be hex digits throughout (blanks between pairs and
// one odd digit at the end aside) and end within what the decoder reads;
// it is read no further than one character past that. The caller's length,
// not the number of bytes decoded, is what is written, so a short text
// writes zeros after its bytes.
ReaderStatus MifareOne::WriteCardFileHex(const char* fileId, const char* keyId, int32_t offset,
                                         int32_t length, const char* dataText) {
  if (ReaderStatus refused = CheckIdentifiers(fileId, keyId)) return refused;
  if (dataText == nullptr) return status::kArgument5;
  uint8_t data[kFrameBufferSize] = {};
  const int32_t decoded = HexToBytes(dataText, data);
  const size_t textLength = TextLengthUpTo(dataText, kHexScanLimit + 1);
  if (textLength > kHexScanLimit || static_cast<size_t>(decoded) != textLength / 2) {
    return status::kIllegalCharacters;
  }
  return WriteFile(mifare::DecodeFileAddress(fileId, keyId), offset, length, data);
}

}  // namespace vqhw
