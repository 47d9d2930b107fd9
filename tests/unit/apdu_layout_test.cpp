// The APDU builder: every body layout of the catalogues, and the refusal of
// arguments that would overrun the frame, the response or a caller's buffer.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "apdu/apdu_layout.h"
#include "apdu/catalogue_rows.h"

namespace vqhw::apdu {
namespace {

using namespace rows;

std::vector<uint8_t> Build(const ApduLayout& layout, const ApduArguments& arguments,
                           ReaderStatus expected = status::kOk) {
  std::array<uint8_t, kMaxCommandData> apdu{};
  const BuiltApdu built = BuildApdu(layout, arguments, apdu);
  EXPECT_EQ(built.status, expected);
  return {apdu.begin(), apdu.begin() + built.length};
}

const std::array<uint8_t, 251> kData = [] {
  std::array<uint8_t, 251> data{};
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xD0 + i);
  return data;
}();

TEST(ApduBuilder, SecureMessagingAddsTheMacToLcWhenClassIsNotZero) {
  const ApduLayout verify = Row({kArg, 0x20, 0x00, kArg}, kSecureMessaging, S);
  EXPECT_EQ(Build(verify, {.cla = 0x00, .p2 = 0x01, .lc = 8, .data = kData.data()}),
            (std::vector<uint8_t>{0x00, 0x20, 0x00, 0x01, 0x08, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,
                                  0xD5, 0xD6, 0xD7}));
  const std::vector<uint8_t> withMac =
      Build(verify, {.cla = 0x04, .p2 = 0x01, .lc = 8, .data = kData.data()});
  ASSERT_EQ(withMac.size(), 17u);
  EXPECT_EQ(withMac[4], 0x0C);
  EXPECT_EQ(withMac[16], 0xDB) << "the four MAC bytes come from the caller's buffer";
  EXPECT_EQ(Build(verify, {.cla = 0x100, .lc = 1, .data = kData.data()}).size(), 6u)
      << "the class byte sent is 00, so no MAC";
}

TEST(ApduBuilder, ReadLayoutCarriesDataOnlyWithClass04) {
  const ApduLayout read = Row({kArg, 0xB0, kArg, kArg}, kMacOnClass04, kFLe);
  EXPECT_EQ(Build(read, {.cla = 0x00, .p1 = 0x95, .p2 = 0x00, .lc = 4, .data = nullptr, .le = 0x10}),
            (std::vector<uint8_t>{0x00, 0xB0, 0x95, 0x00, 0x10}))
      << "lc and data are not used";
  EXPECT_EQ(Build(read, {.cla = 0x04, .p1 = 0x95, .p2 = 0x00, .lc = 4, .data = kData.data(), .le = 0x10}),
            (std::vector<uint8_t>{0x04, 0xB0, 0x95, 0x00, 0x04, 0xD0, 0xD1, 0xD2, 0xD3, 0x10}));
  Build(read, {.cla = 0x04, .lc = 4, .data = nullptr, .le = 0x10}, status::kArgument5);
}

TEST(ApduBuilder, FixedDataAndFixedLe) {
  const ApduLayout purchase = Row({0x80, 0x50, kArg, kArg}, Data(11, 0x0F), F(15));
  const std::vector<uint8_t> apdu = Build(purchase, {.p1 = 0x01, .p2 = 0x02, .data = kData.data()});
  ASSERT_EQ(apdu.size(), 17u);
  EXPECT_EQ(std::vector<uint8_t>(apdu.begin(), apdu.begin() + 6),
            (std::vector<uint8_t>{0x80, 0x50, 0x01, 0x02, 0x0B, 0xD0}));
  EXPECT_EQ(apdu.back(), 0x0F);
  Build(purchase, {.p1 = 1, .p2 = 2, .data = nullptr}, status::kArgument3);
  EXPECT_EQ(Build(Row({0x80, 0x0E, 0x00, 0x00}, P3(0x00), S), {}),
            (std::vector<uint8_t>{0x80, 0x0E, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Build(Row({0x00, 0xC0, 0x00, 0x00}, kP3Le, kFLe), {.le = 0x1F}),
            (std::vector<uint8_t>{0x00, 0xC0, 0x00, 0x00, 0x1F}));
}

TEST(ApduBuilder, VariableLcWithFixedLeSendsEveryDataByte) {
  const ApduLayout ins70 = Row({0x80, 0x70, 0x00, 0x00}, LcThenLe(0x08), V);
  EXPECT_EQ(Build(ins70, {.lc = 8, .data = kData.data()}).size(), 14u);
  const std::vector<uint8_t> purchase = Build(ins70, {.lc = 36, .data = kData.data()});
  ASSERT_EQ(purchase.size(), 42u);
  EXPECT_EQ(purchase[4], 36);
  EXPECT_EQ(purchase[40], 0xD0 + 35);
  EXPECT_EQ(purchase[41], 0x08);
  EXPECT_EQ(Build(ins70, {.lc = 0, .data = nullptr}).size(), 6u) << "no data, nothing to read";
}

TEST(ApduBuilder, LengthsThatWouldOverrunTheFrameOrTheResponseAreRefusedByPosition) {
  const ApduLayout select = Row({0x00, 0xA4, kArg, kArg}, kLcLe, kFLe);  // p1 p2 lc data le
  EXPECT_EQ(Build(select, {.lc = 245, .data = kData.data(), .le = 250}).size(), 251u);
  Build(select, {.lc = 246, .data = kData.data(), .le = 0}, status::kArgument3);
  Build(select, {.lc = -1, .data = kData.data()}, status::kArgument3);
  Build(select, {.lc = INT32_MAX, .data = kData.data()}, status::kArgument3);
  Build(select, {.lc = 2, .data = kData.data(), .le = 251}, status::kArgument5);
  Build(select, {.lc = 2, .data = kData.data(), .le = -1}, status::kArgument5);
  Build(select, {.lc = 2, .data = nullptr, .le = 0}, status::kArgument4);

  const ApduLayout plain = Row({kArg, kArg, kArg, kArg}, kLc, V);  // cla ins p1 p2 lc data
  EXPECT_EQ(Build(plain, {.lc = 246, .data = kData.data()}).size(), 251u);
  Build(plain, {.lc = 247, .data = kData.data()}, status::kArgument5);
  // The sixth argument has no message of its own.
  Build(plain, {.lc = 1, .data = nullptr}, status::kArgument1);

  const ApduLayout secure = Row({kArg, 0xE2, 0x00, kArg}, kSecureMessaging, S);
  EXPECT_EQ(Build(secure, {.cla = 4, .lc = 242, .data = kData.data()}).size(), 251u);
  Build(secure, {.cla = 4, .lc = 243, .data = kData.data()}, status::kArgument3);
  Build(secure, {.cla = 4, .lc = INT32_MAX, .data = kData.data()}, status::kArgument3);

  const ApduLayout internal = Row({0x00, 0x88, kArg, kArg}, LcUpTo(8), V);
  EXPECT_EQ(Build(internal, {.lc = 8, .data = kData.data()}).size(), 13u);
  Build(internal, {.lc = 9, .data = kData.data()}, status::kArgument3);
}

TEST(ApduBuilder, RefusalWritesNothing) {
  std::array<uint8_t, kMaxCommandData> apdu;
  apdu.fill(0xEE);
  const BuiltApdu built =
      BuildApdu(Row({0x00, 0xA4, kArg, kArg}, kLcLe, kFLe), {.lc = 2, .data = nullptr}, apdu);
  EXPECT_EQ(built.status, status::kArgument4);
  EXPECT_EQ(apdu[0], 0xEE);
}

TEST(ApduOutputs, MissingOutputsAreRefusedInArgumentOrder) {
  uint8_t out[8];
  int32_t length = 0;
  uint8_t sw[2];
  const ApduLayout challenge = Row({0x00, 0x84, 0x00, 0x00}, kP3Le, kFLe);  // le out outLength sw
  EXPECT_EQ(CheckOutputs(challenge, {out, &length, sw}), status::kOk);
  EXPECT_EQ(CheckOutputs(challenge, {nullptr, nullptr, nullptr}), status::kArgument2);
  EXPECT_EQ(CheckOutputs(challenge, {out, nullptr, sw}), status::kArgument3);
  EXPECT_EQ(CheckOutputs(challenge, {out, &length, nullptr}), status::kArgument4);
  const ApduLayout block = Row({0x84, 0x16, 0x00, 0x00}, Data(4), S);  // mac sw
  EXPECT_EQ(CheckOutputs(block, {nullptr, nullptr, sw}), status::kOk) << "S needs sw only";
  EXPECT_EQ(CheckOutputs(block, {out, &length, nullptr}), status::kArgument2);
}

}  // namespace
}  // namespace vqhw::apdu
