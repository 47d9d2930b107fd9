// The pure parts of the MIFARE ONE operations: the value block image and
// what file and key identifiers name.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mifare/file_address.h"
#include "mifare/value_block_image.h"

namespace vqhw::mifare {
namespace {

using Image = std::array<uint8_t, 16>;

TEST(ValueBlockImage, HoldsTheAmountThreeTimesAndTheFixedAddressPattern) {
  EXPECT_EQ(ValueBlockImage(0x64), (Image{0x64, 0, 0, 0, 0x9B, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0,
                                          0xAA, 0x55, 0xAA, 0x55}));
  EXPECT_EQ(ValueBlockImage(0xFFFFFFFF), (Image{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0xAA, 0x55, 0xAA, 0x55}));
  EXPECT_EQ(ValueBlockImage(0x12345678)[0], 0x78);  // least significant byte first
}

struct AddressCase {
  const char* fileId;
  const char* keyId;
  int32_t fileNumber;
  int32_t keySelector;
};

TEST(FileAddress, FileNumberIsTheSecondByteAndKeySelectorTheHighHalf) {
  const std::vector<AddressCase> cases = {
      {"0003", "10", 3, 1},
      {"0005", "A0", 5, 10},
      {"00 3f", "fF", 0x3F, 15},
      {"05", "10", 0, 1},     // one byte: the second is the zero after it
      {"", "", 0, 0},
      {nullptr, nullptr, 0, 0},
      {"0102030405060708", "F1F2F3F4F5F6F7F8", 2, 15},  // longer than 6 digits
  };
  for (const AddressCase& c : cases) {
    const FileAddress address = DecodeFileAddress(c.fileId, c.keyId);
    EXPECT_EQ(address.fileNumber, c.fileNumber) << (c.fileId ? c.fileId : "null");
    EXPECT_EQ(address.keySelector, c.keySelector) << (c.keyId ? c.keyId : "null");
  }
}

TEST(FileAddress, IdentifiersAsLongAsTheDecoderReadsOverrunNothing) {
  const std::string longest(400, '7');
  const FileAddress address = DecodeFileAddress(longest.c_str(), longest.c_str());
  EXPECT_EQ(address.fileNumber, 0x77);
  EXPECT_EQ(address.keySelector, 7);
}

}  // namespace
}  // namespace vqhw::mifare
