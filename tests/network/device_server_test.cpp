// A lane through a real serial device server: ser2net in front of the
// virtual reader's pty, reached as rfc2217:// and as socket://. Open,
// information, card, a whole card read, PSAM APDUs, a purchase, a thousand
// transactions, and a server that restarts under the lane.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "network/network_fixture.h"
#include "network/ser2net_front.h"
#include "sim/cards/cpu_card.h"
#include "support/purse_terminal.h"

namespace vqtest {
namespace {

using ByteVector = std::vector<uint8_t>;

class DeviceServerTest : public NetworkTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (!Ser2netFront::Installed()) GTEST_SKIP() << "ser2net is not installed (package ser2net)";
    server_ = std::make_unique<Ser2netFront>(pty_.Path());
    NameCom1(server_->Url(GetParam()));
  }

  // The library's text exports of an APDU: "data/SW", or "result n".
  std::string Pro(const std::string& apdu) { return lib.ProText(apdu); }
  std::string Sam(const std::string& apdu) { return lib.SamText(apdu); }
  static ByteVector DataOf(const std::string& reply) { return purse::FromHex(reply.substr(0, reply.find('/'))); }

  SimulatedPort pty_{9};  // the virtual reader behind ser2net
  vqsim::VirtualReader& ptyReader = pty_.reader;
  std::unique_ptr<Ser2netFront> server_;
};

INSTANTIATE_TEST_SUITE_P(Ser2net, DeviceServerTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Rfc2217" : "Socket"; });

// Sixteen bytes of `b`, as readblock_h writes them.
std::string Filled(int b) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", b);
  std::string text;
  for (int i = 0; i < 16; ++i) text += hex;
  return text;
}

TEST_P(DeviceServerTest, AMifareLaneReadsTheWholeCardAndAThousandTransactions) {
  ptyReader.InsertCard(card);
  for (int block = 1; block < 64; ++block) {
    if (block % 4 == 3) continue;  // the trailers keep their keys
    vqsim::MifareClassic::Block data{};
    data.fill(static_cast<uint8_t>(block));
    ptyReader.WithState([&](vqsim::ReaderState&) { card->PokeBlock(block, data); });
  }
  ASSERT_EQ(lib.open_reader(1, 0), 0) << Trace();
  char info[128] = {};
  EXPECT_EQ(lib.getreaderinfo(info), 0);
  EXPECT_NE(std::string(info).find("COM1"), std::string::npos);
  EXPECT_NE(std::string(info).find("115200"), std::string::npos);
  char serial[16] = {};
  ASSERT_EQ(lib.opencard_h(serial), 0);
  EXPECT_STREQ(serial, "1122334408");
  for (int sector = 0; sector < 16; ++sector) {
    ASSERT_EQ(lib.loadkey(0, sector, kFactoryKey), 0) << sector;
    for (int block = sector * 4; block < sector * 4 + 3; ++block) {
      if (block == 0) {
        EXPECT_EQ(ReadBlock(0).substr(0, 8), "11223344");
      } else {
        EXPECT_EQ(ReadBlock(block), Filled(block)) << block;
      }
    }
  }
  ASSERT_EQ(lib.loadkey(0, 1, kFactoryKey), 0);
  const auto start = Clock::now();
  int failed = 0;
  for (int transaction = 0; transaction < 1000; ++transaction) failed += ReadBlock(4) != Filled(4);
  EXPECT_EQ(failed, 0);
  std::printf("1000 block reads through ser2net (%s): %lld ms\n", GetParam() ? "rfc2217" : "socket",
              static_cast<long long>(Since(start).count()));
  EXPECT_EQ(lib.close_reader(), 0);
}

TEST_P(DeviceServerTest, APurchaseWithThePsamsMacsAndTheTac) {
  auto cpu = std::make_shared<vqsim::CpuCard>();
  ptyReader.InsertCard(cpu);
  ASSERT_EQ(lib.open_reader(1, 0), 0) << Trace();
  uint8_t record[5];
  ASSERT_EQ(lib.opencard(record), 0);
  ASSERT_EQ(Pro("00A4040006A00000099901").substr(20), "/9000");
  const ByteVector issuerFile = DataOf(Pro("00B0950000"));
  ASSERT_EQ(issuerFile.size(), 30u);
  ASSERT_TRUE(Sam("00A40000021001").ends_with("/9000"));
  EXPECT_EQ(Sam("0084000008").size(), 16u + 5u) << "a PSAM challenge";

  const uint32_t amount = 250;
  char reply[100] = {};
  ASSERT_EQ(lib.pro_command_h(purse::Hex(purse::Apdu({0x80, 0x50, 0x01, 0x02},
                                                     purse::InitializeData(amount, purse::kPsamTerminal), 0x0F))
                                  .c_str(),
                              reply),
            0);
  const std::string init = reply;  // SW first, then the data
  ASSERT_EQ(init.substr(0, 4), "9000");
  const auto started = purse::PurchaseStart::Parse(purse::FromHex(init.substr(4)));
  ASSERT_EQ(lib.sam_command_h(
                purse::Hex(purse::Apdu({0x80, 0x70, 0x00, 0x00},
                                       purse::Mac1Data(started, amount, issuerFile, purse::kWhen), 0x08))
                    .c_str(),
                reply),
            0);
  const std::string mac1 = reply;
  ASSERT_EQ(mac1.substr(16), "9000");
  const std::string debit =
      Pro(purse::Hex(purse::Apdu({0x80, 0x54, 0x01, 0x00},
                                 purse::DebitData(purse::FromHex(mac1.substr(0, 16)), purse::kWhen), 0x08)));
  ASSERT_EQ(debit.substr(16), "/9000");
  EXPECT_EQ(Sam("8072000004" + debit.substr(8, 8)), "/9000") << "the PSAM accepts the card's MAC2";
  EXPECT_EQ(Pro("805C000204"), "00002616/9000") << "10000 - 250";
}

TEST_P(DeviceServerTest, ARestartedServerCostsTheLaneOneFailedCommandNotAReopen) {
  ptyReader.InsertCard(card);
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  OpenSector1();
  ASSERT_EQ(ReadBlock(4), std::string(32, '0'));
  const uint16_t rfc2217 = server_->Rfc2217Port(), raw = server_->RawPort();
  server_.reset();
  server_ = std::make_unique<Ser2netFront>(pty_.Path(), true, rfc2217, raw);
  int failed = 0;
  for (int command = 0; command < 5; ++command) failed += ReadBlock(4) != std::string(32, '0');
  EXPECT_LE(failed, 1) << Trace();
  EXPECT_EQ(ReadBlock(4), std::string(32, '0'));
  EXPECT_NE(Trace().find("connecting again to "), std::string::npos);
}

}  // namespace
}  // namespace vqtest
