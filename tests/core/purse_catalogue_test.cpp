// A purse purchase and load through the reader device's catalogue
// operations, against the virtual CPU card and the reader's own PSAM, in
// contactless and in contact mode; and the blocked application.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/reader_device.h"
#include "sim/cpu_card.h"
#include "sim/psam.h"
#include "support/purse_terminal.h"
#include "support/simulated_port.h"

namespace vqhw {
namespace {

namespace terminal = vqtest::purse;
using ByteVector = std::vector<uint8_t>;

class PurseCatalogueTest : public ::testing::Test {
 protected:
  PurseCatalogueTest() {
    for (int port = 1; port <= 4; ++port) vqtest::NamePortMissing(port);
    com1.emplace(1);
    com1->reader.InsertCard(card);
    com1->reader.WithState([&](vqsim::ReaderState& s) { psam = std::dynamic_pointer_cast<vqsim::Psam>(s.psam); });
  }
  ~PurseCatalogueTest() override { device->Close(); }

  void SetUp() override {
    ASSERT_NE(psam, nullptr) << "the reader comes with a PSAM";
    ASSERT_EQ(device->Open(0), status::kOk);
    uint8_t record[5] = {};
    ASSERT_EQ(device->ActivateCard(record), status::kOk);
    const uint8_t application[] = {0xA0, 0x00, 0x00, 0x09, 0x99, 0x01};
    ASSERT_EQ(device->ProSelectFile(0x04, 0x00, 6, application, 0x00, out.data(), &outLength, sw), status::kOk);
    ASSERT_EQ(Sw(), 0x9000);
    ASSERT_EQ(device->ProReadBinary(0x00, 0x95, 0x00, 0, nullptr, 30, out.data(), &outLength, sw), status::kOk);
    issuerFile = Out();
    ASSERT_EQ(issuerFile.size(), 30u);
    const uint8_t psamApplication[] = {0x10, 0x01};
    ASSERT_EQ(device->SamSelectFile(0x00, 0x00, 2, psamApplication, out.data(), &outLength, sw), status::kOk);
  }

  uint16_t Sw() const { return static_cast<uint16_t>(sw[0] << 8 | sw[1]); }
  ByteVector Out() const { return {out.begin(), out.begin() + std::max(outLength, 0)}; }
  uint32_t Balance() {
    EXPECT_EQ(device->ProGetBalance(0x02, out.data(), &outLength, sw), status::kOk);
    return terminal::Number(Out());
  }

  // The PSAM's MAC1 answer; in contact mode through GET RESPONSE.
  ByteVector Mac1(const ByteVector& data) {
    EXPECT_EQ(device->SamIns70(static_cast<int32_t>(data.size()), data.data(), out.data(), &outLength, sw),
              status::kOk);
    if (sw[0] == 0x61) {
      EXPECT_EQ(device->SamGetResponse(sw[1], out.data(), &outLength, sw), status::kOk);
    }
    EXPECT_EQ(Sw(), 0x9000);
    return Out();
  }

  // The whole purchase; returns the card's status word to DEBIT.
  uint16_t Purchase(uint32_t amount) {
    const ByteVector init = terminal::InitializeData(amount);
    EXPECT_EQ(device->ProInitializeForPurchase(0x01, 0x02, init.data(), out.data(), &outLength, sw), status::kOk);
    if (Sw() != 0x9000) return Sw();
    const auto start = terminal::PurchaseStart::Parse(Out());
    const ByteVector mac1 = Mac1(terminal::Mac1Data(start, amount, issuerFile));
    const ByteVector debit = terminal::DebitData(mac1);
    EXPECT_EQ(device->ProDebitForPurchase(debit.data(), out.data(), &outLength, sw), status::kOk);
    if (Sw() != 0x9000) return Sw();
    EXPECT_EQ(outLength, 8);
    const ByteVector mac2(out.begin() + 4, out.begin() + 8);
    EXPECT_EQ(device->SamIns72(mac2.data(), sw), status::kOk);
    return Sw();
  }

  std::optional<vqtest::SimulatedPort> com1;
  std::shared_ptr<vqsim::CpuCard> card = std::make_shared<vqsim::CpuCard>();
  std::shared_ptr<vqsim::Psam> psam;
  std::unique_ptr<ReaderDevice> device = std::make_unique<ReaderDevice>();
  std::array<uint8_t, 256> out{};
  int32_t outLength = -1;
  uint8_t sw[2] = {};
  ByteVector issuerFile;
};

TEST_F(PurseCatalogueTest, PurchaseThroughTheCatalogueWithContactlessAndContactPsam) {
  EXPECT_EQ(Purchase(2000), 0x9000) << "the PSAM accepts MAC2";
  EXPECT_EQ(Balance(), 8000u);
  com1->reader.WithState([&](vqsim::ReaderState&) { psam->SetContactMode(true); });
  EXPECT_EQ(Purchase(3000), 0x9000);
  EXPECT_EQ(Balance(), 5000u);
  ASSERT_EQ(device->ProReadRecord(0x00, 0x02, 0xC4, 0, nullptr, 23, out.data(), &outLength, sw), status::kOk);
  EXPECT_EQ(Out()[1], 0x00) << "record 2 is the first purchase";
  EXPECT_EQ(terminal::Number(ByteVector(out.begin() + 5, out.begin() + 9)), 2000u);
  com1->reader.WithState([&](vqsim::ReaderState&) {
    EXPECT_EQ(card->ElectronicPurse().OfflineCounter(), 2);
    EXPECT_EQ(psam->Purchase().TerminalSerial(), 3u);
  });
  EXPECT_EQ(Purchase(5001), 0x9401);
  EXPECT_EQ(Balance(), 5000u);
}

TEST_F(PurseCatalogueTest, LoadThroughTheCatalogue) {
  const ByteVector pin{0x12, 0x34, 0x56};
  ASSERT_EQ(device->ProVerify(0x00, 0x00, 3, pin.data(), sw), status::kOk);
  const ByteVector init = terminal::InitializeData(700);
  ASSERT_EQ(device->ProInitializeForLoad(0x02, init.data(), out.data(), &outLength, sw), status::kOk);
  ASSERT_EQ(Sw(), 0x9000);
  ASSERT_EQ(outLength, 16);
  const ByteVector answer = Out();

  // The host's side: the card's load key, derived from the issuer's master key.
  const auto keys = vqsim::purse::CardKeys(vqsim::purse::kDefaultMasterKeys, vqsim::IssuerFile::IssuerId(issuerFile),
                                           vqsim::IssuerFile::DiversifyingSerial(issuerFile));
  vqsim::purse::CardRandom random{};
  std::copy(answer.begin() + 8, answer.begin() + 12, random.begin());
  const auto session = vqsim::purse::LoadSessionKey(keys.load, random, 0);
  const vqsim::purse::LoadTerms terms{700, terminal::kPsamTerminal, terminal::kWhen};
  const vqsim::Mac mac2 = vqsim::purse::LoadMac2(session, terms);
  ByteVector credit(terminal::kWhen.date.begin(), terminal::kWhen.date.end());
  terminal::Append(credit, terminal::kWhen.time);
  terminal::Append(credit, mac2);
  ASSERT_EQ(device->ProCreditForLoad(credit.data(), out.data(), &outLength, sw), status::kOk);
  ASSERT_EQ(Sw(), 0x9000);
  const vqsim::Mac tac = vqsim::purse::LoadTac(keys.tac, 10700, 0, terms);
  EXPECT_EQ(Out(), ByteVector(tac.begin(), tac.end()));
  EXPECT_EQ(Balance(), 10700u);
}

TEST_F(PurseCatalogueTest, BlockedApplicationRefusesWith9303) {
  ASSERT_EQ(device->ProGetChallenge(4, out.data(), &outLength, sw), status::kOk);
  vqsim::DesBlock chainStart{};
  std::copy_n(out.begin(), 4, chainStart.begin());
  const ByteVector header{0x84, 0x1E, 0x00, 0x00, 0x04};
  const vqsim::Mac mac = vqsim::Mac3Des(vqsim::CpuCardProfile{}.macKey, chainStart, header);
  ASSERT_EQ(device->ProApplicationBlock(0x00, mac.data(), sw), status::kOk);
  ASSERT_EQ(Sw(), 0x9000);
  EXPECT_EQ(Purchase(100), 0x9303);
  EXPECT_EQ(device->ProGetBalance(0x02, out.data(), &outLength, sw), status::kOk);
  EXPECT_EQ(Sw(), 0x9303);
  com1->reader.WithState([&](vqsim::ReaderState&) { EXPECT_EQ(card->Balance(), 10000u); });
}

}  // namespace
}  // namespace vqhw
