// The user-card and PSAM catalogues of the reader device against the
// virtual reader: the APDU bytes on the wire for each layout, the S, V and
// F(n) splits of real and scripted answers, and refusals that send nothing.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/device_fixture.h"
#include "apdu/psam_catalogue.h"
#include "apdu/user_card_catalogue.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/iso7816/des3.h"
#include "sim/cards/psam.h"
#include "support/scripted_apdu_card.h"
#include "support/simulated_port.h"

namespace vqhw {
namespace {

namespace pro = apdu::user_card;
namespace sam = apdu::psam;

using vqtest::Bytes;

class CatalogueTest : public DeviceTest {
 protected:
  // Puts `card` in the PSAM slot and, when it is a contactless card, in
  // the field, selected.
  template <typename CardModel>
  std::shared_ptr<CardModel> Use(std::shared_ptr<CardModel> card) {
    com1->reader.WithState([&](vqsim::ReaderState& s) {
      if constexpr (std::is_base_of_v<vqsim::Card, CardModel>) {
        s.field.Insert(card);
        s.field.Select(card);
      }
      s.psam = card;
    });
    return card;
  }
  std::shared_ptr<vqtest::ScriptedApduCard> Answer(const char* hex) {
    return Use(std::make_shared<vqtest::ScriptedApduCard>(Bytes(hex)));
  }

  // The APDUs the reader carried, in order.
  std::vector<std::vector<uint8_t>> Apdus() const {
    std::vector<std::vector<uint8_t>> apdus;
    for (const auto& frame : com1->reader.ReceivedFrames()) apdus.push_back(frame.data());
    return apdus;
  }

  std::array<uint8_t, 256> out{};
  int32_t outLength = -99;
  uint8_t sw[2] = {0xEE, 0xEE};
  const std::vector<uint8_t> data = Bytes("D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC DD DE DF");

  std::vector<uint8_t> Sw() const { return {sw[0], sw[1]}; }
  // A catalogue row with these arguments; the outputs are the fixture's.
  ReaderStatus Run(const apdu::CatalogueCommand& command, const apdu::ApduArguments& arguments,
                   const apdu::ReplyOutputs& outputs) {
    return device->apdu.Run(command, arguments, outputs);
  }
  apdu::ReplyOutputs Replies() { return {out.data(), &outLength, sw}; }
  std::vector<uint8_t> Out(size_t n) const { return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)}; }
};

TEST_F(CatalogueTest, VerifyWithAndWithoutSecureMessaging) {
  Answer("90 00");
  EXPECT_EQ(Run(pro::kVerify, {.cla = 0x00, .p2 = 0x00, .lc = 8, .data = data.data()}, {.sw = sw}),
            status::kOk);
  EXPECT_EQ(Run(pro::kVerify, {.cla = 0x04, .p2 = 0x00, .lc = 8, .data = data.data()}, {.sw = sw}),
            status::kOk);
  const auto apdus = Apdus();
  ASSERT_EQ(apdus.size(), 2u);
  EXPECT_EQ(apdus[0], Bytes("00 20 00 00 08 D0 D1 D2 D3 D4 D5 D6 D7"));
  EXPECT_EQ(apdus[1], Bytes("04 20 00 00 0C D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB"));
  EXPECT_EQ(Sw(), Bytes("90 00"));
}

TEST_F(CatalogueTest, ReadBinaryLayoutFollowsTheClass) {
  Answer("01 02 90 00");
  EXPECT_EQ(Run(pro::kReadBinary,
                {.cla = 0x00, .p1 = 0x95, .p2 = 0x00, .lc = 4, .data = nullptr, .le = 0x10},
                Replies()),
            status::kOk);
  EXPECT_EQ(Run(pro::kReadBinary,
                {.cla = 0x04, .p1 = 0x95, .p2 = 0x00, .lc = 4, .data = data.data(), .le = 0x10},
                Replies()),
            status::kOk);
  EXPECT_EQ(Apdus(), (std::vector<std::vector<uint8_t>>{Bytes("00 B0 95 00 10"),
                                                        Bytes("04 B0 95 00 04 D0 D1 D2 D3 10")}));
  EXPECT_EQ(outLength, 2) << "the card sent fewer than le bytes";
  EXPECT_EQ(Sw(), Bytes("90 00"));
}

// The worked example: 22 bytes on the wire, 15 bytes of answer.
TEST_F(CatalogueTest, InitializeForPurchaseSendsItsFrameAndSplitsFifteenBytes) {
  Answer("A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE 90 00");
  EXPECT_EQ(Run(pro::kInitializeForPurchase,
                {.p1 = 0x01, .p2 = 0x02, .data = data.data()}, Replies()),
            status::kOk);
  const auto frames = com1->Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], Bytes("FF 02 60 11 80 50 01 02 0B D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA 0F 80"));
  EXPECT_EQ(Out(16), Bytes("A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE 00"));
  EXPECT_EQ(outLength, 15);
  EXPECT_EQ(Sw(), Bytes("90 00"));
}

// A bare error status word where 15 bytes were expected: the card's status
// word, no byte from outside its answer.
TEST_F(CatalogueTest, ShortAnswerToAFixedLengthCommandGivesTheTrueStatusWord) {
  Answer("6A 82");
  out.fill(0xEE);
  EXPECT_EQ(Run(pro::kInitializeForPurchase,
                {.p1 = 0x01, .p2 = 0x02, .data = data.data()}, Replies()),
            status::kOk);
  EXPECT_EQ(outLength, 0);
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(Sw(), Bytes("6A 82"));
  Answer("94 01");
  EXPECT_EQ(Run(pro::kDebitForPurchase, {.data = data.data()}, Replies()), status::kOk);
  EXPECT_EQ(Sw(), Bytes("94 01")) << "money is not enough, and the operation still succeeds";
  EXPECT_EQ(Apdus()[1], Bytes("80 54 01 00 0F D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC DD DE 08"));
}

TEST_F(CatalogueTest, GenericCommandAndGetResponseSplitTheirData) {
  Answer("C1 C2 C3 90 00");
  EXPECT_EQ(Run(pro::kSendCommand,
                {.cla = 0x80, .ins = 0xCA, .p1 = 0x01, .p2 = 0x02, .lc = 2, .data = data.data()},
                Replies()),
            status::kOk);
  EXPECT_EQ(Out(3), Bytes("C1 C2 C3"));
  EXPECT_EQ(outLength, 3);
  Answer("B0 B1 B2 B3 B4 B5 B6 B7 90 00");
  EXPECT_EQ(Run(pro::kGetResponse, {.le = 8}, Replies()), status::kOk);
  EXPECT_EQ(Out(8), Bytes("B0 B1 B2 B3 B4 B5 B6 B7"));
  EXPECT_EQ(outLength, 8);
  EXPECT_EQ(Sw(), Bytes("90 00"));
  EXPECT_EQ(Apdus(), (std::vector<std::vector<uint8_t>>{Bytes("80 CA 01 02 02 D0 D1"),
                                                        Bytes("00 C0 00 00 08")}));
}

TEST_F(CatalogueTest, PsamSelectAndIns70SendTheirWholeApdu) {
  Answer("6F 12 84 10 31 50 41 59 2E 53 59 53 2E 44 44 46 30 31 30 30 90 00");
  const uint8_t mf[] = {0x3F, 0x00};
  EXPECT_EQ(Run(sam::kSelectFile, {.p1 = 0x00, .p2 = 0x00, .lc = 2, .data = mf}, Replies()),
            status::kOk);
  EXPECT_EQ(outLength, 20);
  EXPECT_EQ(out[19], 0x30);
  EXPECT_EQ(Sw(), Bytes("90 00"));

  std::vector<uint8_t> purchase(36);
  for (size_t i = 0; i < purchase.size(); ++i) purchase[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(Run(sam::kIns70, {.lc = 8, .data = purchase.data()}, Replies()), status::kOk);
  EXPECT_EQ(Run(sam::kIns70, {.lc = 36, .data = purchase.data()}, Replies()), status::kOk);
  const auto apdus = Apdus();
  ASSERT_EQ(apdus.size(), 3u);
  EXPECT_EQ(apdus[0], Bytes("00 A4 00 00 02 3F 00 00"));
  EXPECT_EQ(apdus[1], Bytes("80 70 00 00 08 00 01 02 03 04 05 06 07 08"));
  ASSERT_EQ(apdus[2].size(), 42u) << "the standard purchase initialisation reaches the PSAM whole";
  EXPECT_EQ(apdus[2][4], 36);
  EXPECT_EQ(apdus[2][40], 35);
  EXPECT_EQ(apdus[2][41], 0x08);
  EXPECT_EQ(com1->reader.ReceivedFrames()[2].command(), 0x61);
}

TEST_F(CatalogueTest, ReaderStatusBytesAndMalformedAnswersLeaveTheOutputsUnwritten) {
  EXPECT_EQ(Run(pro::kGetBalance, {.p2 = 0x02}, Replies()), status::kNoCard);
  EXPECT_EQ(outLength, -99);
  EXPECT_EQ(Sw(), Bytes("EE EE"));
  com1->reader.SetPsamPresent(false);
  EXPECT_EQ(Run(sam::kGetChallenge, {}, Replies()), StatusFromByte(0xC3));
  EXPECT_EQ(outLength, -99);

  Answer("90");
  EXPECT_EQ(Run(pro::kIns0E, {}, {.sw = sw}), status::kMalformedReply);
  EXPECT_EQ(Run(pro::kGetBalance, {.p2 = 0x02}, Replies()), status::kMalformedReply);
  EXPECT_EQ(outLength, -99);
  EXPECT_EQ(Sw(), Bytes("EE EE"));
}

TEST_F(CatalogueTest, RefusedArgumentsSendNothing) {
  Answer("90 00");
  EXPECT_EQ(Run(sam::kIns70, {.lc = 246, .data = data.data()}, Replies()), status::kArgument1);
  EXPECT_EQ(Run(pro::kSelectFile,
                {.p1 = 0x04, .p2 = 0x00, .lc = 2, .data = data.data(), .le = 251}, Replies()),
            status::kArgument5);
  EXPECT_EQ(Run(pro::kInternalAuthenticate,
                {.p1 = 0x00, .p2 = 0x01, .lc = 9, .data = data.data()}, Replies()),
            status::kArgument3);
  EXPECT_EQ(Run(pro::kReadBinary,
                {.cla = 0x04, .p1 = 0x95, .p2 = 0x00, .lc = 4, .data = nullptr, .le = 2},
                Replies()),
            status::kArgument5);
  EXPECT_EQ(Run(pro::kGetChallenge, {.le = 4}, {out.data(), &outLength, nullptr}),
            status::kArgument4);
  EXPECT_EQ(Run(sam::kGetResponse, {.le = -1}, Replies()), status::kArgument1);
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(CatalogueTest, CopyLastFrameOfAnExchangeAndOfAFullFrame) {
  Answer("90 00");
  EXPECT_EQ(Run(pro::kIns0E, {}, {.sw = sw}), status::kOk);
  std::array<uint8_t, 256> copy;
  copy.fill(0xEE);
  EXPECT_EQ(device->apdu.CopyLastFrame(1, copy.data()), 8);
  EXPECT_EQ(std::vector<uint8_t>(copy.begin(), copy.begin() + 10),
            Bytes("FF 02 00 02 90 00 6F 00 00 EE"));

  std::vector<uint8_t> longest(246, 0x42);
  EXPECT_EQ(Run(pro::kSendCommand,
                {.cla = 0x80, .ins = 0xE0, .p1 = 0, .p2 = 0, .lc = 246, .data = longest.data()},
                Replies()),
            status::kOk);
  EXPECT_EQ(com1->Frames().back().size(), 256u);
  EXPECT_EQ(device->apdu.CopyLastFrame(0, copy.data()), 256);
  EXPECT_EQ(std::vector<uint8_t>(copy.begin(), copy.end()), com1->Frames().back());
}

// Sessions with the virtual cards, keys computed as a terminal would.
TEST_F(CatalogueTest, UserCardSessionWithRealAnswers) {
  const vqsim::CpuCardProfile profile;
  Use(std::make_shared<vqsim::CpuCard>());
  EXPECT_EQ(Run(pro::kSelectFile,
                {.p1 = 0x04, .p2 = 0x00, .lc = 6, .data = profile.applicationName.data(), .le = 10},
                Replies()),
            status::kOk);
  EXPECT_EQ(Out(4), Bytes("6F 08 84 06"));
  EXPECT_EQ(Run(pro::kGetBalance, {.p2 = 0x02}, Replies()), status::kOk);
  EXPECT_EQ(Out(4), Bytes("00 00 27 10"));
  EXPECT_EQ(outLength, 4);

  EXPECT_EQ(Run(pro::kGetChallenge, {.le = 4}, Replies()), status::kOk);
  ASSERT_EQ(outLength, 4);
  vqsim::DesBlock chainStart{out[0], out[1], out[2], out[3]};
  const vqsim::Mac mac = vqsim::Mac3Des(profile.macKey, chainStart, Bytes("04 20 00 00 07 12 34 56"));
  const std::vector<uint8_t> pinAndMac{0x12, 0x34, 0x56, mac[0], mac[1], mac[2], mac[3]};
  EXPECT_EQ(Run(pro::kVerify,
                {.cla = 0x04, .p2 = 0x00, .lc = 3, .data = pinAndMac.data()}, {.sw = sw}),
            status::kOk);
  EXPECT_EQ(Sw(), Bytes("90 00"));

  EXPECT_EQ(Run(pro::kGetChallenge, {.le = 8}, Replies()), status::kOk);
  vqsim::DesBlock challenge;
  std::copy_n(out.begin(), 8, challenge.begin());
  const vqsim::DesBlock answer = vqsim::Encrypt3Des(profile.externalKey, challenge);
  EXPECT_EQ(Run(pro::kExternalAuthenticate, {.p2 = 0x01, .data = answer.data()}, {.sw = sw}),
            status::kOk);
  EXPECT_EQ(Sw(), Bytes("90 00"));
  EXPECT_EQ(Run(pro::kExternalAuthenticate, {.p2 = 0x01, .data = answer.data()}, {.sw = sw}),
            status::kOk);
  EXPECT_EQ(Sw(), Bytes("69 84")) << "the challenge is used up";

  EXPECT_EQ(Run(pro::kInternalAuthenticate,
                {.p1 = 0x00, .p2 = 0x01, .lc = 8, .data = data.data()}, Replies()),
            status::kOk);
  const vqsim::DesBlock expected = vqsim::Encrypt3Des(
      profile.internalKey, {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7});
  EXPECT_EQ(Out(8), std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST_F(CatalogueTest, PsamSessionWithRealAnswersAndGetResponse) {
  auto psam = Use(std::make_shared<vqsim::Psam>());
  EXPECT_EQ(Run(sam::kReadBinary, {.p1 = 0x96, .p2 = 0x00}, Replies()), status::kOk);
  EXPECT_EQ(Out(6), Bytes("01 02 03 04 05 06"));
  EXPECT_EQ(outLength, 6);
  EXPECT_EQ(Run(sam::kGetChallenge, {}, Replies()), status::kOk);
  EXPECT_EQ(outLength, 4);
  const uint8_t wrongPin[] = {0x00, 0x00, 0x00};
  EXPECT_EQ(Run(sam::kVerify, {.lc = 3, .data = wrongPin}, {.sw = sw}), status::kOk);
  EXPECT_EQ(Sw(), Bytes("63 C2"));

  com1->reader.WithState([&](vqsim::ReaderState&) { psam->SetContactMode(true); });
  const vqsim::PsamProfile profile;
  EXPECT_EQ(Run(sam::kSelectFile,
                {.p1 = 0x04, .p2 = 0x00, .lc = 6, .data = profile.applicationName.data()},
                Replies()),
            status::kOk);
  EXPECT_EQ(outLength, 0);
  EXPECT_EQ(Sw(), Bytes("61 0A"));
  EXPECT_EQ(Run(sam::kGetResponse, {.le = 0x0A}, Replies()), status::kOk);
  EXPECT_EQ(Out(10), Bytes("6F 08 84 06 A0 00 00 09 99 02"));
  EXPECT_EQ(Sw(), Bytes("90 00"));
}

}  // namespace
}  // namespace vqhw
