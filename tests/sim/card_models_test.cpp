// The virtual CPU user card and PSAM: their file systems, PIN and keys,
// the status words a real card gives, and the reader's APDU channels.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/commands/command_table.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/iso7816/des3.h"
#include "sim/cards/psam.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

uint16_t StatusWord(const Bytes& reply) {
  return reply.size() < 2 ? 0 : static_cast<uint16_t>(reply[reply.size() - 2] << 8 | reply.back());
}

Bytes DataOf(const Bytes& reply) { return {reply.begin(), reply.end() - 2}; }

const Bytes kSelectApplication{0x00, 0xA4, 0x04, 0x00, 0x06, 0xA0, 0x00, 0x00, 0x09, 0x99, 0x01};

TEST(TripleDes, MatchesAKnownAnswer) {
  const DesKey key{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                   0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(Encrypt3Des(key, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}),
            (DesBlock{0x1A, 0x4D, 0x67, 0x2D, 0xCA, 0x6C, 0xB3, 0x35}));
}

class CpuCardTest : public ::testing::Test {
 protected:
  Bytes Send(const Bytes& apdu) { return card.Exchange(apdu); }
  CpuCard card;
};

TEST_F(CpuCardTest, SelectsByFileIdentifierAndByNameAndReadsBySfiAndCurrentEf) {
  const Bytes byName = Send(kSelectApplication);
  EXPECT_EQ(StatusWord(byName), sw::kOk);
  EXPECT_EQ(byName[0], 0x6F) << "FCI template";
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00})), sw::kOk);
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4, 0x00, 0x00, 0x02, 0x10, 0x01})), sw::kOk);
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4, 0x00, 0x00, 0x02, 0x00, 0x15})), sw::kOk);
  const Bytes current = Send({0x00, 0xB0, 0x00, 0x02, 0x04});
  EXPECT_EQ(current, (Bytes{0x12, 0x34, 0x56, 0x78, 0x90, 0x00}));
  EXPECT_EQ(DataOf(Send({0x00, 0xB0, 0x95, 0x00, 0x00})).size(), 30u) << "P3 00 reads the whole file";
  EXPECT_EQ(StatusWord(Send({0x00, 0xB0, 0x95, 0x1C, 0x04})), 0x6C02) << "two bytes are left";
  EXPECT_EQ(StatusWord(Send({0x00, 0xB0, 0x95, 0x1E, 0x01})), sw::kWrongOffset);
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4, 0x00, 0x00, 0x02, 0x12, 0x34})), sw::kFileNotFound);
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4, 0x04, 0x00, 0x02, 0xA0, 0x01})), sw::kFileNotFound);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB0, 0x9A, 0x00, 0x04})), sw::kFileNotFound) << "no SFI 1A";
}

TEST_F(CpuCardTest, AnswersMalformedAndUnknownCommandsLikeARealCard) {
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4})), sw::kWrongLength);
  EXPECT_EQ(StatusWord(Send({0x00, 0xA4, 0x04, 0x00, 0x06, 0xA0})), sw::kWrongLength);
  EXPECT_EQ(StatusWord(Send({0x00, 0x44, 0x00, 0x00, 0x00})), sw::kUnknownInstruction);
  EXPECT_EQ(StatusWord(Send({0x80, 0xA4, 0x00, 0x00, 0x00})), sw::kUnknownClass);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB0, 0x00, 0x00, 0x04})), sw::kNoCurrentEf);
  EXPECT_EQ(StatusWord(Send({0x80, 0x5C, 0x00, 0x02, 0x04})), sw::kConditionsNotSatisfied)
      << "the purse lives in the application";
  Send(kSelectApplication);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB2, 0x01, 0xAC, 0x17})), sw::kIncompatibleFile)
      << "EF 0015 is not a record file";
  EXPECT_EQ(StatusWord(Send({0x00, 0x84, 0x00, 0x00, 0x05})), sw::kWrongLength);
}

TEST_F(CpuCardTest, PinTryCounterCountsDownBlocksAndSurvivesAReset) {
  Send(kSelectApplication);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB0, 0x96, 0x00, 0x04})), sw::kSecurityNotSatisfied);
  EXPECT_EQ(StatusWord(Send({0x00, 0x20, 0x00, 0x00, 0x03, 0x12, 0x34, 0x56})), sw::kOk);
  EXPECT_EQ(DataOf(Send({0x00, 0xB0, 0x96, 0x00, 0x04})), (Bytes{0xC4, 0xC4, 0xC4, 0xC4}));

  const Bytes wrongPin{0x00, 0x20, 0x00, 0x00, 0x03, 0x99, 0x99, 0x99};
  EXPECT_EQ(StatusWord(Send(wrongPin)), 0x63C2);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB0, 0x96, 0x00, 0x04})), sw::kSecurityNotSatisfied)
      << "a wrong PIN withdraws the right";
  EXPECT_EQ(StatusWord(Send(wrongPin)), 0x63C1);
  card.Reset();
  EXPECT_EQ(StatusWord(Send({0x00, 0x20, 0x00, 0x00})), 0x63C1) << "the counter is kept";
  EXPECT_EQ(StatusWord(Send(wrongPin)), sw::kBlocked);
  EXPECT_EQ(StatusWord(Send({0x00, 0x20, 0x00, 0x00, 0x03, 0x12, 0x34, 0x56})), sw::kBlocked);
}

TEST_F(CpuCardTest, CyclicTransactionFileKeepsTheNewestFirst) {
  Send(kSelectApplication);
  EXPECT_EQ(DataOf(Send({0x00, 0xB2, 0x01, 0xC4, 0x00}))[0], 2) << "record 1 is the newest";
  EXPECT_EQ(DataOf(Send({0x00, 0xB2, 0x02, 0xC4, 0x17}))[0], 1);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB2, 0x03, 0xC4, 0x17})), sw::kRecordNotFound);
  EXPECT_EQ(StatusWord(Send({0x00, 0xB2, 0x01, 0xC4, 0x10})), 0x6C17);

  Bytes append = Concat({0x00, 0xE2, 0x00, 0xC0, 0x17}, Bytes(23, 0x00));
  EXPECT_EQ(StatusWord(Send(append)), sw::kSecurityNotSatisfied);
  Send({0x00, 0x20, 0x00, 0x00, 0x03, 0x12, 0x34, 0x56});
  for (uint8_t number = 3; number <= 12; ++number) {
    append[5] = number;
    ASSERT_EQ(StatusWord(Send(append)), sw::kOk);
  }
  EXPECT_EQ(DataOf(Send({0x00, 0xB2, 0x01, 0xC4, 0x00}))[0], 12);
  EXPECT_EQ(DataOf(Send({0x00, 0xB2, 0x0A, 0xC4, 0x00}))[0], 3) << "the two oldest are gone";
  EXPECT_EQ(StatusWord(Send({0x00, 0xB2, 0x0B, 0xC4, 0x00})), sw::kRecordNotFound);
  EXPECT_EQ(StatusWord(Send({0x00, 0xE2, 0x00, 0xC0, 0x02, 0x01, 0x02})), sw::kWrongLength);
}

TEST_F(CpuCardTest, ExternalAuthenticationOpensTheIssuerFileOnce) {
  const CpuCardProfile profile;
  Send(kSelectApplication);
  const Bytes update{0x00, 0xD6, 0x95, 0x00, 0x02, 0x01, 0x02};
  EXPECT_EQ(StatusWord(Send(update)), sw::kSecurityNotSatisfied);
  EXPECT_EQ(StatusWord(Send({0x00, 0x82, 0x00, 0x01, 0x08, 0, 0, 0, 0, 0, 0, 0, 0})),
            sw::kChallengeMissing);

  const Bytes challenge = DataOf(Send({0x00, 0x84, 0x00, 0x00, 0x04}));
  ASSERT_EQ(challenge.size(), 4u);
  DesBlock block{};
  std::copy(challenge.begin(), challenge.end(), block.begin());
  const DesBlock answer = Encrypt3Des(profile.externalKey, block);
  const Bytes authenticate = Concat({0x00, 0x82, 0x00, 0x01, 0x08}, Bytes(answer.begin(), answer.end()));
  EXPECT_EQ(StatusWord(Send(authenticate)), sw::kOk);
  EXPECT_EQ(StatusWord(Send(update)), sw::kOk);
  EXPECT_EQ(DataOf(Send({0x00, 0xB0, 0x95, 0x00, 0x03})), (Bytes{0x01, 0x02, 0x12}));
  EXPECT_EQ(StatusWord(Send(authenticate)), sw::kChallengeMissing) << "a challenge answers once";

  Send({0x00, 0x84, 0x00, 0x00, 0x04});
  EXPECT_EQ(StatusWord(Send(authenticate)), 0x63C2) << "the old answer to a new challenge";
  EXPECT_EQ(StatusWord(Send({0x00, 0x82, 0x00, 0x07, 0x08, 0, 0, 0, 0, 0, 0, 0, 0})),
            sw::kReferenceNotFound);
}

TEST_F(CpuCardTest, InternalAuthenticationEncryptsTheTerminalsBlock) {
  const CpuCardProfile profile;
  const Bytes block{1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes reply = Send(Concat({0x00, 0x88, 0x00, 0x01, 0x08}, block));
  const DesBlock expected = Encrypt3Des(profile.internalKey, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(reply, Concat(Bytes(expected.begin(), expected.end()), {0x90, 0x00}));
  EXPECT_EQ(StatusWord(Send({0x00, 0x88, 0x00, 0x01, 0x04, 1, 2, 3, 4})), sw::kWrongLength);
}

TEST_F(CpuCardTest, SecureMessagingReadNeedsTheMacOfTheLastChallenge) {
  const CpuCardProfile profile;
  Send(kSelectApplication);
  const Bytes challenge = DataOf(Send({0x00, 0x84, 0x00, 0x00, 0x04}));
  DesBlock chainStart{};
  std::copy(challenge.begin(), challenge.end(), chainStart.begin());
  const Mac mac = Mac3Des(profile.macKey, chainStart, Bytes{0x04, 0xB0, 0x95, 0x00, 0x04});
  const Bytes read = Concat(Concat({0x04, 0xB0, 0x95, 0x00, 0x04}, Bytes(mac.begin(), mac.end())), {0x02});
  EXPECT_EQ(Send(read), (Bytes{0x51, 0x00, 0x90, 0x00}));
  Send({0x00, 0x84, 0x00, 0x00, 0x04});
  EXPECT_EQ(StatusWord(Send(read)), sw::kWrongMac);
  EXPECT_EQ(StatusWord(Send(read)), sw::kChallengeMissing);
}

TEST_F(CpuCardTest, BalanceOfThePurseIsBigEndian) {
  Send(kSelectApplication);
  EXPECT_EQ(Send({0x80, 0x5C, 0x00, 0x02, 0x04}), (Bytes{0x00, 0x00, 0x27, 0x10, 0x90, 0x00}));
  EXPECT_EQ(StatusWord(Send({0x80, 0x5C, 0x00, 0x03, 0x04})), sw::kWrongP1P2);
}

TEST(PsamModel, TerminalNumberVerifyAndChallenge) {
  Psam psam;
  EXPECT_EQ(psam.Exchange(Bytes{0x00, 0xB0, 0x96, 0x00, 0x00}),
            (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x90, 0x00}));
  EXPECT_EQ(StatusWord(psam.Exchange(Bytes{0x00, 0x20, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00})), 0x63C2);
  EXPECT_EQ(StatusWord(psam.Exchange(Bytes{0x00, 0x20, 0x00, 0x00, 0x03, 0x11, 0x22, 0x33})), sw::kOk);
  EXPECT_EQ(DataOf(psam.Exchange(Bytes{0x00, 0x84, 0x00, 0x00, 0x04})).size(), 4u);
}

TEST(PsamModel, ContactModeAnswersDataThroughGetResponse) {
  Psam psam;
  psam.SetContactMode(true);
  EXPECT_EQ(DataOf(psam.Exchange(Bytes{0x00, 0xB0, 0x96, 0x00, 0x00})).size(), 6u)
      << "a command without data answers at once";
  const Bytes select{0x00, 0xA4, 0x04, 0x00, 0x06, 0xA0, 0x00, 0x00, 0x09, 0x99, 0x02, 0x00};
  const Bytes waiting = psam.Exchange(select);
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting[0], 0x61);
  const uint8_t length = waiting[1];
  EXPECT_EQ(StatusWord(psam.Exchange(Bytes{0x00, 0xC0, 0x00, 0x00, static_cast<uint8_t>(length + 1)})),
            0x6C00 | length);
  const Bytes first = psam.Exchange(Bytes{0x00, 0xC0, 0x00, 0x00, 0x02});
  EXPECT_EQ(first, (Bytes{0x6F, static_cast<uint8_t>(length - 2), 0x61, static_cast<uint8_t>(length - 2)}));
  const Bytes rest = psam.Exchange(Bytes{0x00, 0xC0, 0x00, 0x00, static_cast<uint8_t>(length - 2)});
  EXPECT_EQ(StatusWord(rest), sw::kOk);
  EXPECT_EQ(rest[0], 0x84);
  EXPECT_EQ(StatusWord(psam.Exchange(Bytes{0x00, 0xC0, 0x00, 0x00, 0x01})), sw::kConditionsNotSatisfied);
}

// A card that is not a CPU card: no APDU channel.
struct PlainCard : Card {
  std::array<uint8_t, 4> Serial() const override { return {1, 2, 3, 4}; }
  std::array<uint8_t, 2> AnswerToRequest() const override { return {0x04, 0x00}; }
  uint8_t Sak() const override { return 0x08; }
};

TEST(ApduChannels, UserCardChannelReachesOnlyASelectedCpuCard) {
  ReaderState state;
  const Bytes getChallenge{0x00, 0x84, 0x00, 0x00, 0x04};
  EXPECT_EQ(Dispatch(state, 0x60, getChallenge).status, status::kNoCard);
  auto plain = std::make_shared<PlainCard>();
  state.field.Insert(plain);
  state.field.Select(plain);
  EXPECT_EQ(Dispatch(state, 0x60, getChallenge).status, status::kNoCard);
  EXPECT_EQ(Dispatch(state, 0x76, {}).status, status::kNoCard);

  auto cpu = std::make_shared<CpuCard>();
  state.field.Insert(cpu);
  EXPECT_EQ(Dispatch(state, 0x60, getChallenge).status, status::kNoCard) << "in the field, not selected";
  state.field.Select(cpu);
  const Reply reply = Dispatch(state, 0x60, getChallenge);
  EXPECT_EQ(reply.status, status::kSuccess);
  EXPECT_EQ(reply.data.size(), 6u);

  cpu->Exchange(kSelectApplication);
  EXPECT_EQ(cpu->Core().CurrentDf().id, CpuCardProfile::kApplicationDf);
  EXPECT_EQ(Dispatch(state, 0x76, {}).status, status::kSuccess);
  EXPECT_EQ(cpu->Core().CurrentDf().id, 0x3F00) << "the reset selects the MF";
}

TEST(ApduChannels, PsamChannelNeedsAPsamInTheSlot) {
  ReaderState state;
  const Bytes getChallenge{0x00, 0x84, 0x00, 0x00, 0x04};
  EXPECT_EQ(Dispatch(state, 0x61, getChallenge).status, status::kPsamTimeout) << "no model";
  auto psam = std::make_shared<Psam>();
  state.psam = psam;
  EXPECT_EQ(Dispatch(state, 0x61, getChallenge).data.size(), 6u);
  psam->Exchange(Bytes{0x00, 0x20, 0x00, 0x00, 0x03, 0x11, 0x22, 0x33});
  ASSERT_TRUE(psam->Core().PinVerified());
  EXPECT_EQ(Dispatch(state, 0x73, {}).status, status::kSuccess);
  EXPECT_FALSE(psam->Core().PinVerified()) << "the PSAM reset clears its security state";
  state.psamPresent = false;
  EXPECT_EQ(Dispatch(state, 0x61, getChallenge).status, status::kPsamTimeout);
  EXPECT_EQ(Dispatch(state, 0x73, {}).status, status::kPsamTimeout);
}

}  // namespace
}  // namespace vqsim
