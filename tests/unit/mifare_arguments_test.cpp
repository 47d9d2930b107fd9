// The MIFARE ONE operations refuse bad arguments before anything is sent:
// on a closed reader a refused argument gives its own code, where any
// argument that passes would give "not open".

#include <gtest/gtest.h>

#include <array>

#include "api/reader_device.h"

namespace vqhw {
namespace {

constexpr uint8_t kKey[6] = {};
constexpr uint8_t kSerial[4] = {1, 2, 3, 4};

TEST(MifareArguments, KeysAndAuthenticationCheckTypeSectorAndBlock) {
  ReaderDevice device;
  EXPECT_EQ(device.mifare.LoadKey(8, 0, kKey), status::kArgument1);
  EXPECT_EQ(device.mifare.LoadKey(1, 0, kKey), status::kArgument1);
  EXPECT_EQ(device.mifare.LoadKey(4, 16, kKey), status::kArgument2);
  EXPECT_EQ(device.mifare.LoadKey(4, -1, kKey), status::kArgument2);
  EXPECT_EQ(device.mifare.LoadKey(0, 0, nullptr), status::kArgument3);
  EXPECT_EQ(device.mifare.LoadKey(4, 15, kKey), status::kNotOpen);
  EXPECT_EQ(device.mifare.Authenticate(nullptr, 0, 0, 1), status::kArgument1);
  EXPECT_EQ(device.mifare.Authenticate(kSerial, 2, 0, 1), status::kArgument2);
  EXPECT_EQ(device.mifare.Authenticate(kSerial, 0, 16, 1), status::kArgument3);
  EXPECT_EQ(device.mifare.Authenticate(kSerial, 0, 0, 64), status::kArgument4);
  EXPECT_EQ(device.mifare.Authenticate(kSerial, 4, 15, 63), status::kNotOpen);
}

TEST(MifareArguments, BlocksAreCheckedBeforeTheBufferIsTouched) {
  ReaderDevice device;
  std::array<uint8_t, 16> data;
  data.fill(0xEE);
  EXPECT_EQ(device.mifare.ReadBlock(64, data.data()), status::kArgument1);
  EXPECT_EQ(device.mifare.ReadBlock(-1, data.data()), status::kArgument1);
  EXPECT_EQ(data[0], 0xEE);
  EXPECT_EQ(device.mifare.ReadBlock(0, nullptr), status::kArgument3);
  // A block that passes clears the first four bytes before sending.
  EXPECT_EQ(device.mifare.ReadBlock(63, data.data()), status::kNotOpen);
  EXPECT_EQ(data, (std::array<uint8_t, 16>{0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                           0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(device.mifare.WriteBlock(64, data.data()), status::kArgument2);
  EXPECT_EQ(device.mifare.WriteBlock(0, nullptr), status::kArgument3);
  EXPECT_EQ(device.mifare.WriteValueBlock(64, 1), status::kArgument1);
  EXPECT_EQ(device.mifare.WriteValueBlock(5, 1), status::kNotOpen);
}

TEST(MifareArguments, ValueOperationsCheckSourceThenDestination) {
  ReaderDevice device;
  EXPECT_EQ(device.mifare.DecrementValue(64, 0, 1), status::kArgument1);
  EXPECT_EQ(device.mifare.DecrementValue(0, -1, 1), status::kArgument2);
  EXPECT_EQ(device.mifare.IncrementValue(-1, 64, 1), status::kArgument1);
  EXPECT_EQ(device.mifare.RestoreValue(4, 64), status::kArgument2);
  EXPECT_EQ(device.mifare.RestoreValue(4, 5), status::kNotOpen);
  EXPECT_EQ(device.mifare.HaltCard(), status::kNotOpen);
}

TEST(MifareArguments, ActivationRefusesMissingBuffers) {
  ReaderDevice device;
  uint8_t bytes[5] = {};
  EXPECT_EQ(device.mifare.ActivateCard(nullptr), status::kArgument1);
  EXPECT_EQ(device.mifare.ActivateCardHex(nullptr), status::kArgument1);
  EXPECT_EQ(device.mifare.Anticollision(nullptr), status::kArgument1);
  EXPECT_EQ(device.mifare.Select(nullptr, bytes), status::kArgument1);
  EXPECT_EQ(device.mifare.Select(kSerial, nullptr), status::kArgument2);
  EXPECT_EQ(device.mifare.Request(0x26, nullptr), status::kArgument2);
  EXPECT_EQ(device.mifare.ActivateStepwise(0x26, bytes, bytes, nullptr), status::kArgument4);
  EXPECT_EQ(device.mifare.ActivateStepwise(0x26, nullptr), status::kArgument2);
  EXPECT_EQ(device.mifare.ActivateStepwise(0x26), status::kNotOpen);
  EXPECT_EQ(device.mifare.ActivateCard(bytes), status::kNotOpen);
}

TEST(MifareArguments, FileOperationsClearTheOutputAndAnswerNotOpenWhenClosed) {
  ReaderDevice device;
  uint8_t data[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(device.mifare.ReadCardFile(0, 0, 0, 4, data), status::kNotOpen);
  EXPECT_EQ(data[3], 0);
  EXPECT_EQ(data[4], 9);
  EXPECT_EQ(device.mifare.ReadCardFile(0, 0, 0, 4, nullptr), status::kArgument5);
  EXPECT_EQ(device.mifare.ReadCardFileById(nullptr, "10", 0, 4, data), status::kArgument1);
  EXPECT_EQ(device.mifare.ReadCardFileById("0001", nullptr, 0, 4, data), status::kArgument2);
  EXPECT_EQ(device.mifare.WriteCardFile(0, 0, 0, 4, nullptr), status::kArgument5);
  EXPECT_EQ(device.mifare.WriteCardFileHex("0001", "10", 0, 4, nullptr), status::kArgument5);
  EXPECT_EQ(device.mifare.PrepareCardFileWriteById("0001", "10"), status::kNotOpen);
  char text[8] = "ABCDEFG";
  EXPECT_EQ(device.mifare.ReadCardFileHex("0001", "10", 0, 1, text), status::kNotOpen);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[4], 'E');
}

}  // namespace
}  // namespace vqhw
