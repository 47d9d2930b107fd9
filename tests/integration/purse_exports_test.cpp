// A lane's purse purchase through the exported text functions, against the
// virtual reader with its own PSAM: activate the CPU card, select the
// application, read the issuer file, purchase with the PSAM's MACs, check
// MAC2 and the TAC, read the new balance and record; and refusals that the
// exports hand back as status words with the balance untouched.

#include <memory>
#include <string>

#include "integration/reader_fixture.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/purse/psam_purse.h"
#include "support/purse_terminal.h"

namespace vqtest {
namespace {

using ByteVector = std::vector<uint8_t>;

class PurseExportsTest : public ReaderTest {
 protected:
  PurseExportsTest() { com1->reader.InsertCard(card); }

  std::string Pro(const std::string& apdu) { return lib.ProText(apdu); }
  std::string Sam(const std::string& apdu) { return lib.SamText(apdu); }
  static std::string DataPart(const std::string& reply) { return reply.substr(0, reply.find('/')); }
  static ByteVector DataBytes(const std::string& reply) { return purse::FromHex(DataPart(reply)); }

  // Activation, application, issuer file, the PSAM's purchase application.
  void StartLane() {
    OpenReader();
    unsigned char record[5] = {};
    ASSERT_EQ(lib.opencard(record), 0);
    ASSERT_EQ(record[4], 0x20) << "a CPU card";
    ASSERT_EQ(Pro("00A4040006A00000099901").substr(20), "/9000");
    const std::string issuer = Pro("00B0950000");
    ASSERT_EQ(issuer.size(), 60u + 5u);
    issuerFile = DataBytes(issuer);
    const std::string psamApplication = Sam("00A40000021001");
    ASSERT_TRUE(psamApplication.ends_with("/9000")) << psamApplication;
  }

  std::string Initialize(uint32_t amount) {
    char reply[100] = "Z";
    const ByteVector apdu = purse::Apdu({0x80, 0x50, 0x01, 0x02}, purse::InitializeData(amount, purse::kPsamTerminal), 0x0F);
    EXPECT_EQ(lib.pro_command_h(purse::Hex(apdu).c_str(), reply), 0);
    return reply;  // SW first
  }
  std::string Mac1(const std::string& initReply, uint32_t amount) {
    const auto start = purse::PurchaseStart::Parse(purse::FromHex(initReply.substr(4)));
    const ByteVector apdu = purse::Apdu({0x80, 0x70, 0x00, 0x00}, purse::Mac1Data(start, amount, issuerFile, purse::kWhen), 0x08);
    char reply[100] = "Z";
    EXPECT_EQ(lib.sam_command_h(purse::Hex(apdu).c_str(), reply), 0);
    return reply;  // data, then SW
  }
  std::string Debit(const ByteVector& debitData) {
    return Pro(purse::Hex(purse::Apdu({0x80, 0x54, 0x01, 0x00}, debitData, 0x08)));
  }
  std::string Balance() { return Pro("805C000204"); }

  std::shared_ptr<vqsim::CpuCard> card = std::make_shared<vqsim::CpuCard>();
  ByteVector issuerFile;
};

TEST_F(PurseExportsTest, PurchaseThroughTheTextExportsWithTheReadersPsam) {
  StartLane();
  const std::string init = Initialize(1112);
  ASSERT_EQ(init.size(), 4u + 30u);
  EXPECT_EQ(init.substr(0, 4), "9000");
  EXPECT_EQ(init.substr(4, 8), "00002710") << "the balance before";

  const std::string mac1 = Mac1(init, 1112);
  ASSERT_EQ(mac1.size(), 16u + 4u);
  EXPECT_EQ(mac1.substr(16), "9000");
  EXPECT_EQ(mac1.substr(0, 8), "00000001") << "the PSAM's transaction serial number";

  const std::string debit = Debit(purse::DebitData(purse::FromHex(mac1.substr(0, 16)), purse::kWhen));
  ASSERT_EQ(debit.size(), 16u + 5u);
  EXPECT_EQ(debit.substr(16), "/9000");
  EXPECT_EQ(Sam("8072000004" + debit.substr(8, 8)), "/9000") << "the PSAM accepts the card's MAC2";

  // The PSAM works out the TAC the card should have given.
  EXPECT_EQ(Sam("801A" + purse::Hex(ByteVector{vqsim::PsamPurse::kTacKeyUsage, vqsim::Purse::kKeyVersion, 0x10}) +
                purse::Hex(purse::DiversificationData(issuerFile))),
            "/9000");
  const ByteVector tacMessage = purse::PurchaseTacMessage(1112, 1, purse::kWhen, purse::kPsamTerminal);
  EXPECT_EQ(Sam(purse::Hex(purse::Apdu({0x80, 0xFA, 0x05, 0x00}, tacMessage))), debit.substr(0, 8) + "/9000");

  EXPECT_EQ(Balance(), "000022B8/9000") << "10000 - 1112";
  EXPECT_EQ(Pro("00B201C400"), "000000000000000458" "06" "010203040506" "20261208" "093015" "/9000");
  com1->reader.WithState([&](vqsim::ReaderState&) { EXPECT_EQ(card->Balance(), 8888u); });
}

TEST_F(PurseExportsTest, RefusalsComeBackAsStatusWordsWithTheBalanceUntouched) {
  StartLane();
  EXPECT_EQ(Initialize(10001), "9401") << "insufficient balance: success, with the card's status word";

  const std::string init = Initialize(500);
  ByteVector debitData = purse::DebitData(purse::FromHex(Mac1(init, 500).substr(0, 16)), purse::kWhen);
  debitData[14] ^= 0xFF;
  EXPECT_EQ(Debit(debitData), "/9302") << "a wrong MAC1";
  EXPECT_EQ(Debit(debitData), "/6901") << "the transaction is over";
  EXPECT_EQ(Sam("807200000401020304"), "/9302") << "the PSAM's MAC2 check of the purchase it began";
  EXPECT_EQ(Balance(), "00002710/9000");
  EXPECT_EQ(Pro("00B201C400").substr(0, 2), "02") << "no new record";
}

}  // namespace
}  // namespace vqtest
