// A purse purchase and load through the reader device's catalogue
// operations, against the virtual CPU card and the reader's own PSAM, in
// contactless and in contact mode; and the blocked application.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "core/device_fixture.h"
#include "apdu/psam_catalogue.h"
#include "apdu/user_card_catalogue.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/psam.h"
#include "support/purse_terminal.h"
#include "support/simulated_port.h"

namespace vqhw {
namespace {

namespace pro = apdu::user_card;
namespace sam = apdu::psam;

namespace terminal = vqtest::purse;
using ByteVector = std::vector<uint8_t>;

class PurseCatalogueTest : public DeviceTest {
 protected:
  PurseCatalogueTest() {
    com1->reader.InsertCard(card);
    com1->reader.WithState([&](vqsim::ReaderState& s) { psam = std::dynamic_pointer_cast<vqsim::Psam>(s.psam); });
  }

  void SetUp() override {
    ASSERT_NE(psam, nullptr) << "the reader comes with a PSAM";
    DeviceTest::SetUp();
    if (HasFatalFailure()) return;
    uint8_t record[5] = {};
    ASSERT_EQ(device->mifare.ActivateCard(record), status::kOk);
    const uint8_t application[] = {0xA0, 0x00, 0x00, 0x09, 0x99, 0x01};
    ASSERT_EQ(Run(pro::kSelectFile,
                  {.p1 = 0x04, .p2 = 0x00, .lc = 6, .data = application, .le = 0x00}, Replies()),
              status::kOk);
    ASSERT_EQ(Sw(), 0x9000);
    ASSERT_EQ(Run(pro::kReadBinary,
                  {.cla = 0x00, .p1 = 0x95, .p2 = 0x00, .lc = 0, .data = nullptr, .le = 30},
                  Replies()),
              status::kOk);
    issuerFile = Out();
    ASSERT_EQ(issuerFile.size(), 30u);
    const uint8_t psamApplication[] = {0x10, 0x01};
    ASSERT_EQ(Run(sam::kSelectFile,
                  {.p1 = 0x00, .p2 = 0x00, .lc = 2, .data = psamApplication}, Replies()),
              status::kOk);
  }

  uint16_t Sw() const { return static_cast<uint16_t>(sw[0] << 8 | sw[1]); }
  // A catalogue row with these arguments; the outputs are the fixture's.
  ReaderStatus Run(const apdu::CatalogueCommand& command, const apdu::ApduArguments& arguments,
                   const apdu::ReplyOutputs& outputs) {
    return device->apdu.Run(command, arguments, outputs);
  }
  apdu::ReplyOutputs Replies() { return {out.data(), &outLength, sw}; }
  ByteVector Out() const { return {out.begin(), out.begin() + std::max(outLength, 0)}; }
  uint32_t Balance() {
    EXPECT_EQ(Run(pro::kGetBalance, {.p2 = 0x02}, Replies()), status::kOk);
    return terminal::Number(Out());
  }

  // The PSAM's MAC1 answer; in contact mode through GET RESPONSE.
  ByteVector Mac1(const ByteVector& data) {
    EXPECT_EQ(Run(sam::kIns70,
                  {.lc = static_cast<int32_t>(data.size()), .data = data.data()}, Replies()),
              status::kOk);
    if (sw[0] == 0x61) {
      EXPECT_EQ(Run(sam::kGetResponse, {.le = sw[1]}, Replies()), status::kOk);
    }
    EXPECT_EQ(Sw(), 0x9000);
    return Out();
  }

  // The whole purchase; returns the card's status word to DEBIT.
  uint16_t Purchase(uint32_t amount) {
    const ByteVector init = terminal::InitializeData(amount, terminal::kPsamTerminal);
    EXPECT_EQ(Run(pro::kInitializeForPurchase,
                  {.p1 = 0x01, .p2 = 0x02, .data = init.data()}, Replies()),
              status::kOk);
    if (Sw() != 0x9000) return Sw();
    const auto start = terminal::PurchaseStart::Parse(Out());
    const ByteVector mac1 = Mac1(terminal::Mac1Data(start, amount, issuerFile, terminal::kWhen));
    const ByteVector debit = terminal::DebitData(mac1, terminal::kWhen);
    EXPECT_EQ(Run(pro::kDebitForPurchase, {.data = debit.data()}, Replies()), status::kOk);
    if (Sw() != 0x9000) return Sw();
    EXPECT_EQ(outLength, 8);
    const ByteVector mac2(out.begin() + 4, out.begin() + 8);
    EXPECT_EQ(Run(sam::kIns72, {.data = mac2.data()}, {.sw = sw}), status::kOk);
    return Sw();
  }

  std::shared_ptr<vqsim::CpuCard> card = std::make_shared<vqsim::CpuCard>();
  std::shared_ptr<vqsim::Psam> psam;
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
  ASSERT_EQ(Run(pro::kReadRecord,
                {.cla = 0x00, .p1 = 0x02, .p2 = 0xC4, .lc = 0, .data = nullptr, .le = 23},
                Replies()),
            status::kOk);
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
  ASSERT_EQ(Run(pro::kVerify, {.cla = 0x00, .p2 = 0x00, .lc = 3, .data = pin.data()}, {.sw = sw}),
            status::kOk);
  const ByteVector init = terminal::InitializeData(700, terminal::kPsamTerminal);
  ASSERT_EQ(Run(pro::kInitializeForLoad, {.p2 = 0x02, .data = init.data()}, Replies()),
            status::kOk);
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
  ASSERT_EQ(Run(pro::kCreditForLoad, {.data = credit.data()}, Replies()), status::kOk);
  ASSERT_EQ(Sw(), 0x9000);
  const vqsim::Mac tac = vqsim::purse::LoadTac(keys.tac, 10700, 0, terms);
  EXPECT_EQ(Out(), ByteVector(tac.begin(), tac.end()));
  EXPECT_EQ(Balance(), 10700u);
}

TEST_F(PurseCatalogueTest, BlockedApplicationRefusesWith9303) {
  ASSERT_EQ(Run(pro::kGetChallenge, {.le = 4}, Replies()), status::kOk);
  vqsim::DesBlock chainStart{};
  std::copy_n(out.begin(), 4, chainStart.begin());
  const ByteVector header{0x84, 0x1E, 0x00, 0x00, 0x04};
  const vqsim::Mac mac = vqsim::Mac3Des(vqsim::CpuCardProfile{}.macKey, chainStart, header);
  ASSERT_EQ(Run(pro::kApplicationBlock, {.p2 = 0x00, .data = mac.data()}, {.sw = sw}), status::kOk);
  ASSERT_EQ(Sw(), 0x9000);
  EXPECT_EQ(Purchase(100), 0x9303);
  EXPECT_EQ(Run(pro::kGetBalance, {.p2 = 0x02}, Replies()), status::kOk);
  EXPECT_EQ(Sw(), 0x9303);
  com1->reader.WithState([&](vqsim::ReaderState&) { EXPECT_EQ(card->Balance(), 10000u); });
}

}  // namespace
}  // namespace vqhw
