// The APDU operations of a reader that is not open: arguments are refused
// before the closed reader is noticed, nothing is written, and the copy of
// the last frame stays inside the caller's buffer.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/reader_device.h"
#include "apdu/psam_catalogue.h"
#include "apdu/user_card_catalogue.h"

namespace vqhw {
namespace {

namespace pro = apdu::user_card;
namespace sam = apdu::psam;

TEST(ApduClosedReader, ExchangesAnswerNotOpenAndLeaveTheOutputsAlone) {
  auto device = std::make_unique<ReaderDevice>();
  ApduChannels& channels = device->apdu;
  char reply[16] = "untouched";
  char sw[8] = "sw";
  uint8_t response[kFrameBufferSize];
  EXPECT_EQ(channels.TransactHex(0x60, "00A4000000", response), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kProApduStatusFirstHex, "0084000004", reply), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kProApduSplitHex, "0084000004", reply, sw), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kProApduHex, "0084000004", reply), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kSamApduHex, "0084000004", reply), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kSamApduSplitHex, "0084000004", reply, sw), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kSamApduStatusFirstHex, "0084000004", reply), status::kNotOpen);
  EXPECT_EQ(channels.Exchange(apdu::kSamApduHex, nullptr, nullptr), status::kNotOpen);
  EXPECT_STREQ(reply, "untouched");
  EXPECT_STREQ(sw, "sw");
  EXPECT_EQ(device->link.SequenceNumber(), 0);
}

TEST(ApduClosedReader, CatalogueRefusesArgumentsBeforeTheClosedReader) {
  auto device = std::make_unique<ReaderDevice>();
  ApduChannels& channels = device->apdu;
  uint8_t data[16] = {};
  uint8_t out[256];
  int32_t length = -99;
  uint8_t sw[2] = {0xEE, 0xEE};
  EXPECT_EQ(channels.Run(pro::kInternalAuthenticate, {.p1 = 0, .p2 = 1, .lc = 9, .data = data},
                         {out, &length, sw}),
            status::kArgument3);
  EXPECT_EQ(channels.Run(pro::kInternalAuthenticate, {.p1 = 0, .p2 = 1, .lc = 8, .data = data},
                         {out, &length, sw}),
            status::kNotOpen);
  EXPECT_EQ(channels.Run(pro::kGetChallenge, {.le = 251}, {out, &length, sw}), status::kArgument1);
  EXPECT_EQ(channels.Run(pro::kGetChallenge, {.le = 8}, {out, &length, nullptr}), status::kArgument4);
  EXPECT_EQ(channels.Run(sam::kIns70, {.lc = 246, .data = data}, {out, &length, sw}),
            status::kArgument1);
  EXPECT_EQ(channels.Run(sam::kVerify, {.lc = 3, .data = nullptr}, {.sw = sw}), status::kArgument2);
  EXPECT_EQ(channels.Run(pro::kCardBlock, {.data = nullptr}, {.sw = sw}), status::kArgument1);
  EXPECT_EQ(channels.Run(pro::kIns0E, {}, {.sw = nullptr}), status::kArgument1);
  EXPECT_EQ(channels.Run(sam::kGetChallenge, {}, {out, &length, sw}), status::kNotOpen);
  EXPECT_EQ(length, -99);
  EXPECT_EQ(sw[0], 0xEE);
}

TEST(CopyLastFrame, CopiesTheFrameAndTwoZeroBytes) {
  const uint8_t answer[kFrameBufferSize] = {0xFF, 0x03, 0x00, 0x02, 0x90, 0x00, 0x6E, 0x00};
  std::vector<uint8_t> out(16, 0xEE);
  EXPECT_EQ(apdu::CopyFrame(answer, out.data()), 8);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10),
            (std::vector<uint8_t>{0xFF, 0x03, 0x00, 0x02, 0x90, 0x00, 0x6E, 0x00, 0x00, 0xEE}));
  auto device = std::make_unique<ReaderDevice>();
  EXPECT_EQ(device->apdu.CopyLastFrame(2, out.data()), -1);
  EXPECT_EQ(device->apdu.CopyLastFrame(-1, out.data()), -1);
  EXPECT_EQ(device->apdu.CopyLastFrame(0, nullptr), status::kArgument2);
}

// A command frame of 251 data bytes fills the whole 256-byte buffer; the
// copy must not run past it, nor past a caller's buffer of the same size
// (the sanitizer build catches either).
TEST(CopyLastFrame, FullFramesStayInsideTheBuffer) {
  for (uint8_t length : {uint8_t{251}, uint8_t{250}}) {
    auto frame = std::make_unique<uint8_t[]>(kFrameBufferSize);
    std::memset(frame.get(), 0x5A, kFrameBufferSize);
    frame[3] = length;
    auto out = std::make_unique<uint8_t[]>(kFrameBufferSize);
    EXPECT_EQ(apdu::CopyFrame(frame.get(), out.get()), 256) << int{length};
    EXPECT_EQ(out[3], length);
    EXPECT_EQ(out[255], 0x5A);
  }
}

}  // namespace
}  // namespace vqhw
