// CPU card lanes under the example scenarios: a purchase whose card leaves
// during DEBIT, recovered by GET TRANSACTION PROVE or done again, never
// paid twice; a PSAM that gets locked, then removed.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "scenarios/scenario_fixture.h"
#include "sim/cards/cpu_card.h"
#include "support/purse_terminal.h"

namespace vqtest {
namespace {

constexpr uint32_t kToll = 1112;

class PurseScenarioTest : public ScenarioTest {
 protected:
  std::string Pro(const std::string& apdu) { return lib.ProText(apdu); }
  std::string Sam(const std::string& apdu) { return lib.SamText(apdu); }
  static ByteVector DataBytes(const std::string& reply) { return purse::FromHex(reply.substr(0, reply.find('/'))); }

  void ActivateAndSelect() {
    unsigned char record[5] = {};
    ASSERT_EQ(lib.opencard(record), 0);
    ASSERT_EQ(Pro("00A4040006A00000099901").substr(20), "/9000");
  }
  void StartLane() {
    OpenReader();
    ActivateAndSelect();
    issuerFile = DataBytes(Pro("00B0950000"));
    ASSERT_EQ(issuerFile.size(), 30u);
    ASSERT_TRUE(Sam("00A40000021001").ends_with("/9000"));
  }

  // INITIALIZE, MAC1 and DEBIT: the DEBIT's reply; `counter` the purchase's.
  std::string Purchase(uint16_t& counter) {
    const std::string init = Pro(purse::Hex(purse::Apdu({0x80, 0x50, 0x01, 0x02},
                                                        purse::InitializeData(kToll, purse::kPsamTerminal), 0x0F)));
    EXPECT_TRUE(init.ends_with("/9000")) << init;
    const auto start = purse::PurchaseStart::Parse(DataBytes(init));
    counter = start.offlineCounter;
    const std::string mac1 = Sam(purse::Hex(purse::Apdu(
        {0x80, 0x70, 0x00, 0x00}, purse::Mac1Data(start, kToll, issuerFile, purse::kWhen), 0x08)));
    EXPECT_TRUE(mac1.ends_with("/9000")) << mac1;
    return Pro(purse::Hex(purse::Apdu({0x80, 0x54, 0x01, 0x00}, purse::DebitData(DataBytes(mac1), purse::kWhen), 0x08)));
  }
  std::string Prove(uint16_t counter) {
    char apdu[32];
    std::snprintf(apdu, sizeof apdu, "805A000602%04X08", static_cast<unsigned>(counter));
    return Pro(apdu);
  }

  ByteVector issuerFile;
};

// The tear chooses whether the card debited; the lane asks the card for the
// proof of the purchase by its counter and pays again only when there is none.
struct TornDebit {
  const char* outcome;
  bool proved;
};

class TornPurchaseTest : public PurseScenarioTest, public ::testing::WithParamInterface<TornDebit> {};

TEST_P(TornPurchaseTest, LaneRecoversThePurchaseExactlyOnce) {
  LoadText(ScenarioVariant("torn-purchase.json", "\"done\"", std::string("\"") + GetParam().outcome + "\""));
  const auto card = CardNamed<vqsim::CpuCard>("purse");
  StartLane();
  uint16_t counter = 0xFFFF;
  EXPECT_EQ(Purchase(counter), "result -114") << "the card left during DEBIT";
  EXPECT_EQ(counter, 0);
  unsigned char record[5] = {};
  EXPECT_EQ(lib.opencard(record), 1) << "gone for one activation";
  ActivateAndSelect();

  const std::string proof = Prove(counter);
  if (GetParam().proved) {
    ASSERT_TRUE(proof.ends_with("/9000")) << proof;
    const ByteVector mac2ThenTac = DataBytes(proof);
    ASSERT_EQ(mac2ThenTac.size(), 8u);
    EXPECT_EQ(Sam("8072000004" + purse::Hex(std::span(mac2ThenTac).first(4))), "/9000")
        << "the PSAM accepts the proved MAC2 of the purchase it began";
  } else {
    EXPECT_EQ(proof, "/9406") << "nothing to prove: the card never debited";
    uint16_t again = 0xFFFF;
    EXPECT_TRUE(Purchase(again).ends_with("/9000"));
    EXPECT_EQ(again, counter) << "the same counter: the first purchase never happened";
  }
  EXPECT_EQ(Pro("805C000204"), "000022B8/9000") << "10000 - 1112, once";
  com1->reader.WithState([&](vqsim::ReaderState&) {
    EXPECT_EQ(card->Balance(), 10000u - kToll);
    EXPECT_EQ(card->ElectronicPurse().OfflineCounter(), 1) << "exactly one purchase";
  });
}

INSTANTIATE_TEST_SUITE_P(Outcomes, TornPurchaseTest,
                         ::testing::Values(TornDebit{"done", true}, TornDebit{"not-done", false},
                                           TornDebit{"corrupt", false}),
                         [](const auto& test) { return TestName(test.param.outcome); });

TEST_F(PurseScenarioTest, LockedPsamRefusesEveryCommandAndARemovedOneTimesOut) {
  Load("psam-locked.json");
  OpenReader();
  EXPECT_EQ(Sam("00B0960006"), "000000000007/9000") << "the scenario's terminal number";
  EXPECT_EQ(Sam("00A40000021001"), "/9303") << "locked after its first command";
  EXPECT_EQ(Sam("00B0960006"), "/9303");
  EXPECT_EQ(Sam("00A40000021001"), "result -161") << "removed after its third";
  EXPECT_EQ(lib.LastStatusText(), Gbk("PSAM卡操作超时"));
  lib.close_reader();
  EXPECT_EQ(lib.open_reader(1, 0), -26) << "the reader answers, its PSAM reset does not";
}

}  // namespace
}  // namespace vqtest
