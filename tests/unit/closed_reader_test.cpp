// What the reader operations do before anything reaches a port: argument
// checks, the closed-reader answer, the result mapping, the card-kind rule.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api/reader_device.h"
#include "api/result_mapping.h"
#include "serial/frame_wait.h"
#include "serial/serial_channel.h"

namespace vqhw {
namespace {

TEST(ResultMapping, MapsTheTransportFailuresToMinusOneAndNoCardToOne) {
  EXPECT_EQ(ToApiResult(0), 0);
  EXPECT_EQ(ToApiResult(-101), 1);
  for (ReaderStatus s : {-7, -9, -10, -11, -12, -13, -14, -22, -23}) EXPECT_EQ(ToApiResult(s), -1) << s;
  for (ReaderStatus s : {-1, -2, -3, -4, -5, -8, -15, -25, -26, -27, -28, -102, -355, -1000}) {
    EXPECT_EQ(ToApiResult(s), s) << s;
  }
}

TEST(ClosedReader, EveryCommandAnswersNotOpenAndSendsNothing) {
  ReaderDevice device;
  uint8_t response[kFrameBufferSize];
  uint8_t answer[2] = {0x11, 0x22};
  EXPECT_EQ(device.link.Transact(0x70, nullptr, 0, response), status::kNotOpen);
  EXPECT_EQ(device.link.Command(0x70, nullptr, 0, response), status::kNotOpen);
  EXPECT_EQ(device.link.Probe(), status::kNotOpen);
  EXPECT_EQ(device.link.ResetPsam(), status::kNotOpen);
  EXPECT_EQ(device.control.ResetRfField(), status::kNotOpen);
  EXPECT_EQ(device.control.ResetProCard(), status::kNotOpen);
  EXPECT_EQ(device.mifare.Request(0x52, answer), status::kNotOpen);
  EXPECT_EQ(answer[0], 0x11);
  EXPECT_EQ(device.link.Close(), status::kAlreadyClosed);
  EXPECT_EQ(device.link.BaudRate(), 0);
  EXPECT_EQ(device.link.SequenceNumber(), 0);
}

TEST(ClosedReader, PortNumbersOutsideOneToNinetyNineCannotBeOpened) {
  ReaderLink link;
  for (int32_t port : {0, 100, -1, INT32_MAX, INT32_MIN}) {
    EXPECT_EQ(link.Open(port), status::kCannotOpen) << port;
    EXPECT_FALSE(link.IsOpen());
  }
}

TEST(ReaderControl, MmiValuesAreCheckedInArgumentOrderAsSigned32BitNumbers) {
  ReaderLink link;
  ReaderControl control(link);
  EXPECT_EQ(control.SetMmi(0x83, 0, 0), status::kArgument1);
  EXPECT_EQ(control.SetMmi(0, 0x84, 0), status::kArgument2);
  EXPECT_EQ(control.SetMmi(0, 0, 0x7F), status::kArgument3);
  EXPECT_EQ(control.SetMmi(0x180, 0, 0), status::kArgument1) << "not cut to a byte";
  EXPECT_EQ(control.SetMmi(-128, 0, 0), status::kArgument1);
  EXPECT_EQ(control.SetMmi(0x82, 0x83, 0x80), status::kNotOpen) << "valid values reach the reader";
}

TEST(ReaderControl, LineSpeedsOutsideTheirTablesAreRefusedBeforeSending) {
  ReaderLink link;
  ReaderControl control(link);
  EXPECT_EQ(link.ChangeLineSpeed(57600), status::kArgument1);
  EXPECT_EQ(control.SetSecondLineSpeed(19200), status::kArgument1);
  EXPECT_EQ(link.ChangeLineSpeed(9600), status::kNotOpen);
  EXPECT_EQ(link.LineSpeed(), 115200) << "a speed change that sent nothing changes nothing";
}

TEST(ReaderControl, CardKindCharacterIsTheLowByte) {
  CardKindRule rule;
  EXPECT_EQ(rule.SetCardKind('1'), 0);
  EXPECT_EQ(rule.CardKindSetting(), 1);
  EXPECT_EQ(rule.SetCardKind(0x0132), 0);
  EXPECT_EQ(rule.CardKindSetting(), 2);
  for (int32_t refused : {int32_t{'3'}, int32_t{'A'}, int32_t{'/'}, int32_t{0}}) {
    EXPECT_EQ(rule.SetCardKind(refused), status::kArgument1) << refused;
    EXPECT_EQ(rule.CardKindSetting(), 2);
  }
}

TEST(ReaderControl, CardKindRuleComparesSettingWithTheCardLastSeen) {
  struct Case { int32_t setting, seen; ReaderStatus expected; };
  for (auto c : {Case{2, -1, 0}, Case{2, 0, 0}, Case{2, 1, 0}, Case{0, 0, 0}, Case{1, 1, 0},
                 Case{0, 1, -27}, Case{1, 0, -27}, Case{1, -1, -27}, Case{0, -1, -27}}) {
    CardKindRule rule;
    ASSERT_EQ(rule.SetCardKind('0' + c.setting), status::kOk);
    if (c.seen != CardKindRule::kNoCardSeen) rule.SetDetectedCardKind(c.seen);
    EXPECT_EQ(rule.CheckCardKind(), c.expected) << c.setting << " " << c.seen;
  }
}

}  // namespace
}  // namespace vqhw

namespace vqhw {
namespace {

TEST(ClosedChannel, ConfigureChecksItsArgumentsInOrderAndAppliesNothing) {
  SerialChannel channel;
  EXPECT_EQ(channel.Configure(4799, 'N', 8, 1), status::kArgument2);
  EXPECT_EQ(channel.Configure(14401, 'N', 8, 1), status::kArgument2) << "not a multiple of 4800";
  EXPECT_EQ(channel.Configure(9600, 'M', 8, 1), status::kArgument3);
  EXPECT_EQ(channel.Configure(9600, 'N', 9, 1), status::kArgument4);
  EXPECT_EQ(channel.Configure(9600, 'N', 4, 1), status::kArgument4);
  EXPECT_EQ(channel.Configure(9600, 'N', 8, 3), status::kArgument5);
  for (char parity : {'N', 'E', 'O'}) EXPECT_EQ(channel.Configure(115200, parity, 7, 2), 0);
}

TEST(ClosedChannel, RefusesEverythingButWaitsItsFullTimeForAFrame) {
  SerialChannel channel;
  const uint8_t frame[] = {0xFF, 0x00, 0x72, 0x00, 0x8D};
  EXPECT_EQ(channel.Write(frame, sizeof frame), status::kNotOpen);
  EXPECT_EQ(channel.Purge(), status::kNotOpen);
  EXPECT_EQ(channel.Close(), status::kNotOpen);
  uint8_t destination[kFrameBufferSize];
  std::memset(destination, 0x77, sizeof destination);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(channel.ReadFrame(destination, start + kFrameWait), status::kTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(800));
  EXPECT_EQ(destination[0] | destination[1] | destination[2] | destination[3], 0)
      << "the first four bytes are cleared";
  EXPECT_EQ(channel.Open("/nonexistent/vqhw-port", 115200, 'N', 8, 1), status::kCannotOpen);
  EXPECT_FALSE(channel.IsOpen());
}

TEST(PortNames, EnvironmentNamesThePortElseTheSerialDevice) {
  char name[64];
  ::unsetenv("VQHW_COM7");
  ASSERT_TRUE(FormatPortName(7, name, sizeof name));
  EXPECT_STREQ(name, "/dev/ttyS6");
  ::setenv("VQHW_COM7", "/dev/pts/42", 1);
  ASSERT_TRUE(FormatPortName(7, name, sizeof name));
  EXPECT_STREQ(name, "/dev/pts/42");
  ::setenv("VQHW_COM7", std::string(100, 'x').c_str(), 1);
  EXPECT_FALSE(FormatPortName(7, name, sizeof name)) << "a name that does not fit is refused";
  ::unsetenv("VQHW_COM7");
}

TEST(LineSettings, SettingsTextOfTheReader) {
  char text[64];
  ASSERT_TRUE(FormatSettingsText(LineSettings{}, text, sizeof text));
  EXPECT_STREQ(text, "baud=115200 parity=N data=8 stop=1");
}

}  // namespace
}  // namespace vqhw
