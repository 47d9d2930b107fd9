// Lane-program sessions through the text exports with the virtual CPU card
// and PSAM answering as real ones do, and their resets.

#include <memory>
#include <string>

#include "integration/reader_fixture.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/psam.h"

namespace vqtest {
namespace {

class ApduCardsTest : public ReaderTest {
 protected:
  ApduCardsTest() {
    com1->reader.InsertCard(card);
    com1->reader.WithState([&](vqsim::ReaderState& s) {
      s.field.Select(card);
      s.psam = psam;
    });
  }

  // PRO_COMMAND_H, giving "data/SW".
  std::string Pro(const char* apdu) {
    char data[600] = "Z";
    char sw[8] = "Z";
    const int32_t result = lib.PRO_COMMAND_H(apdu, data, sw);
    return result == 0 ? std::string(data) + "/" + sw : "result " + std::to_string(result);
  }
  std::string Sam(const char* apdu) {
    char reply[600] = "Z";
    const int32_t result = lib.sam_command_h(apdu, reply);
    return result == 0 ? reply : "result " + std::to_string(result);
  }

  std::shared_ptr<vqsim::CpuCard> card = std::make_shared<vqsim::CpuCard>();
  std::shared_ptr<vqsim::Psam> psam = std::make_shared<vqsim::Psam>();
};

TEST_F(ApduCardsTest, UserCardSessionSelectReadVerifyAndBalance) {
  OpenReader();
  EXPECT_EQ(Pro("00A4040006A00000099901"), "6F088406A00000099901/9000");
  EXPECT_EQ(Pro("00B0950004"), "51001234/9000");
  EXPECT_EQ(Pro("00B0960004"), "/6982") << "cardholder data needs the PIN";
  EXPECT_EQ(Pro("0020000003999999"), "/63C2");
  EXPECT_EQ(Pro("0020000003123456"), "/9000");
  EXPECT_EQ(Pro("00B0960002"), "C4C4/9000");
  EXPECT_EQ(Pro("00B201C400").substr(0, 2), "02") << "newest transaction first";
  EXPECT_EQ(Pro("805C000204"), "00002710/9000");
  EXPECT_EQ(Pro("00CA000000"), "/6D00");
}

TEST_F(ApduCardsTest, ProResetReturnsTheCardToItsMasterFile) {
  OpenReader();
  EXPECT_EQ(Pro("00A4040006A00000099901").substr(0, 2), "6F");
  EXPECT_EQ(Pro("0020000003123456"), "/9000");
  EXPECT_EQ(lib.PRO_reset_h(), 0);
  EXPECT_EQ(Pro("00B0950004"), "/6A82") << "the MF has no SFI 15";
  EXPECT_EQ(Pro("805C000204"), "/6985");
  com1->reader.WithState([](vqsim::ReaderState& s) { s.field.Select(nullptr); });
  EXPECT_EQ(lib.PRO_reset_h(), 1) << "no CPU card selected";
}

TEST_F(ApduCardsTest, PsamTerminalNumberPinAndReset) {
  OpenReader();
  EXPECT_EQ(Sam("00B0960006"), "0102030405069000");
  EXPECT_EQ(Sam("00B0960000"), "0102030405069000") << "P3 00 reads the whole file";
  EXPECT_EQ(Sam("0020000003000000"), "63C2");
  EXPECT_EQ(Sam("0020000003112233"), "9000");
  EXPECT_EQ(Sam("0084000004").size(), 12u);
  EXPECT_EQ(lib.SAM_reset_h(), 0);
  com1->reader.WithState([&](vqsim::ReaderState&) { EXPECT_FALSE(psam->Core().PinVerified()); });
}

TEST_F(ApduCardsTest, ContactPsamAnswersThroughGetResponse) {
  psam->SetContactMode(true);
  OpenReader();
  char data[64] = "Z";
  char sw[8] = "Z";
  EXPECT_EQ(lib.SAM_COMMAND_H("00A4040006A0000009990200", data, sw), 0);
  EXPECT_STREQ(data, "");
  EXPECT_STREQ(sw, "610A");
  EXPECT_EQ(lib.SAM_COMMAND_H("00C000000A", data, sw), 0);
  EXPECT_STREQ(data, "6F088406A00000099902");
  EXPECT_STREQ(sw, "9000");
}

}  // namespace
}  // namespace vqtest
