// MIFARE ONE and reader control operations that no export reaches, run on
// the reader device against the virtual reader: request and the stepwise
// activation with the card-kind rule, line speeds, and the value commands.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "core/device_fixture.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/cards/mifare/mifare_value_block.h"
#include "support/simulated_port.h"

namespace vqhw {
namespace {

using ByteVector = std::vector<uint8_t>;
using vqtest::Bytes;

constexpr std::array<uint8_t, 4> kSerial{0x11, 0x22, 0x33, 0x44};
constexpr uint8_t kFactoryKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

class MifareDeviceTest : public DeviceTest {
 protected:
  void Insert(std::shared_ptr<vqsim::Card> inserted) { com1->reader.InsertCard(std::move(inserted)); }

  // Activates the MIFARE card and authenticates sector 1 with key A.
  void AuthenticateSector1() {
    Insert(card);
    uint8_t record[5];
    ASSERT_EQ(device->mifare.ActivateCard(record), status::kOk);
    ASSERT_EQ(device->mifare.LoadKey(0, 1, kFactoryKey), status::kOk);
    ASSERT_EQ(device->mifare.Authenticate(kSerial.data(), 0, 1, 5), status::kOk);
    com1->reader.ClearReceived();
  }

  std::optional<vqsim::mifare::ValueBlock> CardValue(int block) {
    std::optional<vqsim::mifare::ValueBlock> value;
    com1->reader.WithState([&](vqsim::ReaderState&) { value = vqsim::mifare::ParseValueBlock(card->RawBlock(block)); });
    return value;
  }

  std::vector<ByteVector> Frames() const { return com1->Frames(); }
  std::vector<ByteVector> Data() const {
    std::vector<ByteVector> data;
    for (const auto& frame : com1->reader.ReceivedFrames()) data.push_back(frame.data());
    return data;
  }

  std::shared_ptr<vqsim::MifareClassic> card = std::make_shared<vqsim::MifareClassic>(kSerial);
};

TEST_F(MifareDeviceTest, RequestTellsTheCardKindByTheAnswerToRequest) {
  uint8_t answer[2] = {0xEE, 0xEE};
  EXPECT_EQ(device->mifare.Request(0x26, answer), -101);
  EXPECT_EQ(answer[0], 0xEE);
  EXPECT_EQ(device->cardKind.DetectedCardKind(), CardKindRule::kNoCardSeen);

  Insert(card);
  EXPECT_EQ(device->mifare.Request(0x26, answer), status::kOk);
  EXPECT_EQ(ByteVector(answer, answer + 2), (ByteVector{0x04, 0x00}));
  EXPECT_EQ(device->cardKind.DetectedCardKind(), CardKindRule::kMifareOne);
  EXPECT_EQ(Frames().back(), Bytes("FF 03 40 01 26 9B"));

  com1->reader.ClearField();
  Insert(std::make_shared<vqsim::CpuCard>());
  EXPECT_EQ(device->mifare.Request(0x52, answer), status::kOk);
  EXPECT_EQ(answer[0], 0x08);
  EXPECT_EQ(device->cardKind.DetectedCardKind(), CardKindRule::kMifarePro);
}

TEST_F(MifareDeviceTest, StepwiseActivationRequestsResolvesAndSelects) {
  Insert(card);
  uint8_t answer[2] = {};
  uint8_t serial[4] = {};
  uint8_t sak = 0;
  EXPECT_EQ(device->mifare.ActivateStepwise(0x26, answer, serial, &sak), status::kOk);
  EXPECT_EQ(ByteVector(serial, serial + 4), ByteVector(kSerial.begin(), kSerial.end()));
  EXPECT_EQ(sak, 0x08);
  EXPECT_EQ(Data(), (std::vector<ByteVector>{{0x26}, {}, {0x11, 0x22, 0x33, 0x44}}));
  EXPECT_EQ(com1->Commands(), (ByteVector{0x40, 0x41, 0x42}));

  const uint8_t unknown[4] = {9, 9, 9, 9};
  EXPECT_EQ(device->mifare.Select(unknown), -101);
  com1->reader.ClearField();
  com1->reader.ClearReceived();
  EXPECT_EQ(device->mifare.ActivateStepwise(0x26), -101);
  EXPECT_EQ(com1->Commands(), ByteVector{0x40}) << "the first failure ends the steps";
}

TEST_F(MifareDeviceTest, SelectAppliesTheCardKindRuleAfterStoringTheSak) {
  ASSERT_EQ(device->cardKind.SetCardKind('0'), status::kOk);
  auto cpuCard = std::make_shared<vqsim::CpuCard>();
  Insert(cpuCard);
  uint8_t serial[4] = {};
  uint8_t sak = 0;
  uint8_t answer[2];
  EXPECT_EQ(device->mifare.ActivateStepwise(0x26, answer, serial, &sak), status::kCardKindRefused);
  EXPECT_EQ(sak, 0x20);
  EXPECT_EQ(device->cardKind.DetectedCardKind(), CardKindRule::kMifarePro);
  // The one-step activation applies no rule.
  uint8_t record[5];
  EXPECT_EQ(device->mifare.ActivateCard(record), status::kOk);
  EXPECT_EQ(record[4], 0x20);

  com1->reader.ClearField();
  Insert(card);
  EXPECT_EQ(device->mifare.ActivateStepwise(0x26, serial), status::kOk);
  ASSERT_EQ(device->cardKind.SetCardKind('1'), status::kOk);
  EXPECT_EQ(device->mifare.Select(serial), status::kCardKindRefused);
  EXPECT_EQ(device->cardKind.DetectedCardKind(), CardKindRule::kMifareOne);
}

// The first frame goes out at the old speed without waiting for an answer;
// the repeat, with the same sequence number, confirms the new speed.
TEST_F(MifareDeviceTest, ChangeLineSpeedSendsTheCodeTwiceAndSwitchesThePort) {
  EXPECT_EQ(device->link.ChangeLineSpeed(57600), status::kArgument1);
  EXPECT_TRUE(Frames().empty());
  // The 10 ms pause between the frames is timed on this side: when the
  // reader's thread notes a frame's arrival depends on the scheduler.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->link.ChangeLineSpeed(38400), status::kOk);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
  EXPECT_EQ(Frames(), std::vector<ByteVector>(2, Bytes("FF 02 71 01 03 8E")));
  EXPECT_EQ(device->link.LineSpeed(), 38400);
  EXPECT_EQ(device->link.BaudRate(), 38400);

  const int fd = ::open(com1->Path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios settings{};
  ASSERT_EQ(::tcgetattr(fd, &settings), 0);
  ::close(fd);
  EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B38400));

  EXPECT_EQ(device->link.ResetPsam(), status::kOk) << "the line still carries commands";
  EXPECT_EQ(device->link.ChangeLineSpeed(115200), status::kOk);
}

TEST_F(MifareDeviceTest, SecondLineSpeedKnowsTwoCodes) {
  EXPECT_EQ(device->control.SetSecondLineSpeed(19200), status::kArgument1);
  EXPECT_EQ(device->control.SetSecondLineSpeed(9600), status::kOk);
  EXPECT_EQ(device->control.SetSecondLineSpeed(38400), status::kOk);
  EXPECT_EQ(Data(), (std::vector<ByteVector>{{1}, {2}}));
  EXPECT_EQ(device->link.LineSpeed(), 115200) << "the host's own port keeps its speed";
}

TEST_F(MifareDeviceTest, ControlValuesReachTheReaderAndTheFieldResetEndsTheSelection) {
  EXPECT_EQ(device->control.SetMmi(0x80, 0x83, 0), status::kOk);
  std::array<uint8_t, 3> recorded{};
  com1->reader.WithState([&](vqsim::ReaderState& state) { recorded = state.controlValues; });
  EXPECT_EQ(recorded, (std::array<uint8_t, 3>{0x80, 0x83, 0x00}));

  AuthenticateSector1();
  EXPECT_EQ(device->control.ResetRfField(), status::kOk);
  uint8_t data[16];
  EXPECT_EQ(device->mifare.ReadBlock(4, data), -101) << "nothing is selected after the reset";
}

TEST_F(MifareDeviceTest, ValueBlockImageGoesOutAndTheValueCommandsWorkOnIt) {
  AuthenticateSector1();
  EXPECT_EQ(device->mifare.WriteValueBlock(5, 0x64), status::kOk);
  EXPECT_EQ(Frames(), std::vector<ByteVector>{Bytes(
                          "FF 05 52 11 05 64 00 00 00 9B FF FF FF 64 00 00 00 AA 55 AA 55 D8")});
  ASSERT_TRUE(CardValue(5));
  EXPECT_EQ(CardValue(5)->value, 100);

  com1->reader.ClearReceived();
  EXPECT_EQ(device->mifare.DecrementValue(5, 6, 30), status::kOk);
  EXPECT_EQ(device->mifare.IncrementValue(6, 4, 0x105), status::kOk);
  EXPECT_EQ(device->mifare.RestoreValue(4, 5), status::kOk);
  EXPECT_EQ(Data(), (std::vector<ByteVector>{{5, 6, 30, 0, 0, 0}, {6, 4, 0x05, 0x01, 0, 0}, {4, 5}}));
  EXPECT_EQ(CardValue(6)->value, 70);
  EXPECT_EQ(CardValue(4)->value, 70 + 0x105);
  EXPECT_EQ(CardValue(5)->value, 70 + 0x105);

  com1->reader.ClearReceived();
  EXPECT_EQ(device->mifare.DecrementValue(5, 5, 0xFFFFFFFF), -117) << "the purse would go below zero";
  EXPECT_EQ(Data(), (std::vector<ByteVector>{{5, 5, 0xFF, 0xFF, 0xFF, 0xFF}}));
  EXPECT_EQ(device->mifare.WriteValueBlock(6, 0xFFFFFFFF), status::kOk);
  EXPECT_EQ(device->mifare.IncrementValue(6, 5, 1), status::kOk) << "the card reads FF FF FF FF as -1";
  EXPECT_EQ(CardValue(5)->value, 0);
  const uint8_t zeros[16] = {};
  ASSERT_EQ(device->mifare.WriteBlock(6, zeros), status::kOk);
  EXPECT_EQ(device->mifare.DecrementValue(6, 5, 1), -115) << "no value block";
  EXPECT_EQ(device->mifare.DecrementValue(5, 9, 1), -108) << "destination in another sector";
}

TEST_F(MifareDeviceTest, HaltCardLeavesItAsleepUntilAWakeUpRequest) {
  AuthenticateSector1();
  EXPECT_EQ(device->mifare.HaltCard(), status::kOk);
  EXPECT_EQ(Frames(), std::vector<ByteVector>{Bytes("FF 05 58 00 A2")});
  uint8_t record[5];
  EXPECT_EQ(device->mifare.ActivateCard(record), -101);
  EXPECT_EQ(device->mifare.HaltCard(), -101);
  uint8_t answer[2];
  EXPECT_EQ(device->mifare.Request(0x52, answer), status::kOk) << "a wake-up request reaches it";
  EXPECT_EQ(device->mifare.ActivateCard(record), status::kOk);
}

}  // namespace
}  // namespace vqhw
