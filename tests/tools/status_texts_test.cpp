// The tool keeps its own copy of the library's status texts (no export
// reaches them for an arbitrary code): it must say what the library says.

#include <gtest/gtest.h>

#include "protocol/reader_device.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {
namespace {

TEST(ToolStatusTexts, EveryStatusMessageIsTheLibrarys) {
  vqhw::ReaderDevice device;  // the card-kind setting of a freshly loaded library
  for (int32_t status = -400; status <= 0; ++status) {
    EXPECT_EQ(ExplainStatus(status).message, GbkToUtf8(device.StatusText(status))) << status;
  }
  EXPECT_EQ(ExplainStatus(-1000).message, GbkToUtf8(device.StatusText(-1000)));
  EXPECT_EQ(ExplainStatus(1).message, GbkToUtf8(device.StatusText(-101))) << "result 1 is no card";
}

TEST(ToolStatusTexts, EveryStatusWordTextIsTheLibrarys) {
  for (uint32_t word = 0; word <= 0xFFFF; ++word) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
    ASSERT_EQ(StatusWordText(static_cast<uint16_t>(word)), vqhw::ReaderDevice::CardStatusWordText(bytes))
        << std::hex << word;
  }
}

TEST(ToolStatusTexts, StatusBytesWithoutARowNameTheirByte) {
  EXPECT_EQ(StatusOfByte(0xFF), -101);
  EXPECT_NE(ExplainStatus(-300).meaning.find("38"), std::string::npos);
  EXPECT_EQ(ExplainStatus(-50).meaning, "not a status the library gives");
}

}  // namespace
}  // namespace vqtool
