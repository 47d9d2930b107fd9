// Two cards in the field: activation picks the one anticollision finds,
// not the one that came first; a clone of it (one serial number for two
// cards) makes the reader answer "several cards", which the reader device
// hands on and opencard turns into no card.

#include "core/device_fixture.h"
#include "scenarios/scenario_fixture.h"
#include "sim/files/scenario_file.h"

namespace vqtest {
namespace {

TEST_F(ScenarioTest, TwoCardsGiveTheAnticollisionWinnerAndACloneGivesNoCard) {
  Load("two-cards.json");
  OpenReader();
  uint8_t record[5] = {};
  ASSERT_EQ(lib.opencard(record), 0);
  EXPECT_EQ(ByteVector(record, record + 5), Bytes("01 00 00 00 08"))
      << "its serial's first bit is 1, the other card's 0";
  com1->reader.ClearReceived();
  EXPECT_EQ(lib.opencard(record), 1) << "the clone entered after the first activation";
  EXPECT_EQ(com1->Commands(), Bytes("80 72 80"));
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
}

}  // namespace
}  // namespace vqtest

namespace vqhw {
namespace {

TEST_F(DeviceTest, CloneInTheFieldIsTheReadersSeveralCardsStatus) {
  vqsim::LoadScenarioFile(vqtest::ScenarioPath("two-cards.json"), com1->reader);
  uint8_t record[5] = {};
  ASSERT_EQ(device->mifare.ActivateCard(record), status::kOk);
  EXPECT_EQ(device->mifare.ActivateCard(record), -113) << "several cards in the field";
  uint8_t serial[4] = {};
  EXPECT_EQ(device->mifare.Anticollision(serial), -113);
  const uint8_t clone[4] = {0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(device->mifare.Select(clone), -113);
  const uint8_t first[4] = {0x10, 0x00, 0x00, 0x00};
  EXPECT_EQ(device->mifare.Select(first), status::kOk) << "the other card is still alone with its serial";
}

}  // namespace
}  // namespace vqhw
