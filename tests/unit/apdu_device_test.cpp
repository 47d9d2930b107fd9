// The APDU operations of a reader device that is not open: arguments are
// refused before the closed reader is noticed, nothing is written, and the
// copy of the last frame stays inside the caller's buffer.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "protocol/reader_device.h"

namespace vqhw {
namespace {

TEST(ApduClosedReader, ExchangesAnswerNotOpenAndLeaveTheOutputsAlone) {
  auto device = std::make_unique<ReaderDevice>();
  char reply[16] = "untouched";
  char sw[8] = "sw";
  uint8_t response[kFrameBufferSize];
  EXPECT_EQ(device->TransactHex(0x60, "00A4000000", response), status::kNotOpen);
  EXPECT_EQ(device->ProApduStatusFirstHex("0084000004", reply), status::kNotOpen);
  EXPECT_EQ(device->ProApduSplitHex("0084000004", reply, sw), status::kNotOpen);
  EXPECT_EQ(device->ProApduHex("0084000004", reply), status::kNotOpen);
  EXPECT_EQ(device->SamApduHex("0084000004", reply), status::kNotOpen);
  EXPECT_EQ(device->SamApduSplitHex("0084000004", reply, sw), status::kNotOpen);
  EXPECT_EQ(device->SamApduStatusFirstHex("0084000004", reply), status::kNotOpen);
  EXPECT_EQ(device->SamApduHex(nullptr, nullptr), status::kNotOpen);
  EXPECT_STREQ(reply, "untouched");
  EXPECT_STREQ(sw, "sw");
  EXPECT_EQ(device->WhenOpen([] { return 5; }), status::kNotOpen);
  EXPECT_EQ(device->sequenceNumber, 0);
}

TEST(ApduClosedReader, CatalogueRefusesArgumentsBeforeTheClosedReader) {
  auto device = std::make_unique<ReaderDevice>();
  uint8_t data[16] = {};
  uint8_t out[256];
  int32_t length = -99;
  uint8_t sw[2] = {0xEE, 0xEE};
  EXPECT_EQ(device->ProInternalAuthenticate(0, 1, 9, data, out, &length, sw), status::kArgument3);
  EXPECT_EQ(device->ProInternalAuthenticate(0, 1, 8, data, out, &length, sw), status::kNotOpen);
  EXPECT_EQ(device->ProGetChallenge(251, out, &length, sw), status::kArgument1);
  EXPECT_EQ(device->ProGetChallenge(8, out, &length, nullptr), status::kArgument4);
  EXPECT_EQ(device->SamIns70(246, data, out, &length, sw), status::kArgument1);
  EXPECT_EQ(device->SamVerify(3, nullptr, sw), status::kArgument2);
  EXPECT_EQ(device->ProCardBlock(nullptr, sw), status::kArgument1);
  EXPECT_EQ(device->ProIns0E(nullptr), status::kArgument1);
  EXPECT_EQ(device->SamGetChallenge(out, &length, sw), status::kNotOpen);
  EXPECT_EQ(length, -99);
  EXPECT_EQ(sw[0], 0xEE);
}

TEST(CopyLastFrame, CopiesTheFrameAndTwoZeroBytes) {
  auto device = std::make_unique<ReaderDevice>();
  const uint8_t answer[] = {0xFF, 0x03, 0x00, 0x02, 0x90, 0x00, 0x6E, 0x00};
  std::memcpy(device->responseFrame, answer, sizeof answer);
  std::vector<uint8_t> out(16, 0xEE);
  EXPECT_EQ(device->CopyLastFrame(1, out.data()), 8);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10),
            (std::vector<uint8_t>{0xFF, 0x03, 0x00, 0x02, 0x90, 0x00, 0x6E, 0x00, 0x00, 0xEE}));
  EXPECT_EQ(device->CopyLastFrame(2, out.data()), -1);
  EXPECT_EQ(device->CopyLastFrame(-1, out.data()), -1);
  EXPECT_EQ(device->CopyLastFrame(0, nullptr), status::kArgument2);
  EXPECT_EQ(device->WhenOpen([&] { return device->CopyLastFrame(1, out.data()); }), status::kNotOpen);
}

// A command frame of 251 data bytes fills the whole 256-byte buffer; the
// copy must not run past it, nor past a caller's buffer of the same size
// (the sanitizer build catches either).
TEST(CopyLastFrame, FullFramesStayInsideTheBuffer) {
  auto device = std::make_unique<ReaderDevice>();
  for (uint8_t length : {uint8_t{251}, uint8_t{250}}) {
    std::memset(device->commandFrame, 0x5A, sizeof device->commandFrame);
    device->commandFrame[3] = length;
    auto out = std::make_unique<uint8_t[]>(kFrameBufferSize);
    EXPECT_EQ(device->CopyLastFrame(0, out.get()), 256) << int{length};
    EXPECT_EQ(out[3], length);
    EXPECT_EQ(out[255], 0x5A);
  }
}

}  // namespace
}  // namespace vqhw
