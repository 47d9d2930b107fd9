#include "mifare/file_address.h"

#include "util/hex_codec.h"

namespace vqhw::mifare {

FileAddress DecodeFileAddress(const char* fileId, const char* keyId) {
  uint8_t file[kMaxDecodedBytes + 1] = {};
  uint8_t key[kMaxDecodedBytes + 1] = {};
  HexToBytes(fileId, file);
  HexToBytes(keyId, key);
  return {file[1], key[0] >> 4};
}

}  // namespace vqhw::mifare
