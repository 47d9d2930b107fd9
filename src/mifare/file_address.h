#pragma once
// What a file identifier and a key identifier name on the reader: the file
// number is the second byte of the file identifier (0005 names file 5), the
// key selector the high half of the key identifier's first byte (A0 names
// key 10). Both texts are decoded into areas wide enough for the longest
// text the decoder reads, filled with zeros first, so a short identifier
// names 0 ("05" names file 0) and a long one overruns nothing.

#include <cstdint>

namespace vqhw::mifare {

struct FileAddress {
  int32_t fileNumber = 0;
  int32_t keySelector = 0;
};

FileAddress DecodeFileAddress(const char* fileId, const char* keyId);

// A file holds the 48 bytes of a sector's three data blocks.
inline constexpr int32_t kFileSize = 48;
inline constexpr int32_t kHighestReadableFile = 63;

}  // namespace vqhw::mifare
