// The electronic purse on the virtual CPU card and the PSAM's side of it,
// APDU by APDU: a purchase whose MACs and TAC check out on both sides and
// against keys derived here from the issuer's master keys, loads, the
// transaction records, and every refusal leaving the money where it was.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/cards/cpu_card.h"
#include "sim/cards/psam.h"
#include "sim/files/field_file.h"
#include "sim/reader/reader_model.h"
#include "tests/support/purse_terminal.h"

namespace vqsim {
namespace {

using vqtest::purse::Bytes;
namespace terminal = vqtest::purse;

const Bytes kSelectApplication{0x00, 0xA4, 0x04, 0x00, 0x06, 0xA0, 0x00, 0x00, 0x09, 0x99, 0x01};
const Bytes kSelectPsamApplication{0x00, 0xA4, 0x00, 0x00, 0x02, 0x10, 0x01};
const Bytes kGetBalance{0x80, 0x5C, 0x00, 0x02, 0x04};
const Bytes kReadNewestRecord{0x00, 0xB2, 0x01, 0xC4, 0x00};

uint16_t StatusWord(const Bytes& reply) {
  return reply.size() < 2 ? 0 : static_cast<uint16_t>(reply[reply.size() - 2] << 8 | reply.back());
}
Bytes DataOf(const Bytes& reply) { return {reply.begin(), reply.end() - 2}; }

class PurseTest : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(); }

  void Prepare() {
    ASSERT_EQ(StatusWord(Card(kSelectApplication)), sw::kOk);
    issuerFile = DataOf(Card({0x00, 0xB0, 0x95, 0x00, 0x00}));
    ASSERT_EQ(issuerFile.size(), IssuerFile::kSize);
    ASSERT_EQ(StatusWord(Sam(kSelectPsamApplication)), sw::kOk);
  }

  Bytes Card(const Bytes& apdu) { return card->Exchange(apdu); }
  Bytes Sam(const Bytes& apdu) { return psam->Exchange(apdu); }

  Bytes InitializeForPurchase(uint32_t amount, uint8_t keyIndex = Purse::kKeyIndex) {
    Bytes data = terminal::InitializeData(amount, terminal::kPsamTerminal);
    data[0] = keyIndex;
    return Card(terminal::Apdu({0x80, 0x50, 0x01, 0x02}, data, 0x0F));
  }
  Bytes PsamMac1(const Bytes& initAnswer, uint32_t amount) {
    const auto start = terminal::PurchaseStart::Parse(DataOf(initAnswer));
    return Sam(terminal::Apdu({0x80, 0x70, 0x00, 0x00}, terminal::Mac1Data(start, amount, issuerFile, terminal::kWhen), 0x08));
  }
  // A command with the secure-messaging MAC over a fresh challenge.
  Bytes WithMac(Bytes header) {
    const Bytes challenge = DataOf(Card({0x00, 0x84, 0x00, 0x00, 0x04}));
    DesBlock chainStart{};
    std::copy(challenge.begin(), challenge.end(), chainStart.begin());
    header.push_back(0x04);
    const Mac mac = Mac3Des(CpuCardProfile{}.macKey, chainStart, header);
    header.insert(header.end(), mac.begin(), mac.end());
    return Card(header);
  }
  Bytes Debit(const Bytes& debitData) { return Card(terminal::Apdu({0x80, 0x54, 0x01, 0x00}, debitData, 0x08)); }
  uint32_t CardBalance() { return terminal::Number(DataOf(Card(kGetBalance))); }

  // INITIALIZE, MAC1, DEBIT: the card's answer to DEBIT.
  Bytes Purchase(uint32_t amount) {
    const Bytes init = InitializeForPurchase(amount);
    if (StatusWord(init) != sw::kOk) return init;
    const Bytes mac1 = PsamMac1(init, amount);
    return Debit(terminal::DebitData(DataOf(mac1), terminal::kWhen));
  }

  std::shared_ptr<CpuCard> card = std::make_shared<CpuCard>();
  std::shared_ptr<Psam> psam = std::make_shared<Psam>();
  Bytes issuerFile;
};

TEST_F(PurseTest, PurchaseDebitsTheCardWithMacsAndTacBothSidesAgreeOn) {
  const Bytes init = InitializeForPurchase(1250);
  ASSERT_EQ(StatusWord(init), sw::kOk);
  ASSERT_EQ(init.size(), 17u);
  const auto start = terminal::PurchaseStart::Parse(DataOf(init));
  EXPECT_EQ(start.balance, 10000u);
  EXPECT_EQ(start.offlineCounter, 0);
  EXPECT_EQ(start.keyVersion, Purse::kKeyVersion);

  const Bytes mac1 = PsamMac1(init, 1250);
  ASSERT_EQ(StatusWord(mac1), sw::kOk);
  ASSERT_EQ(mac1.size(), 10u);
  EXPECT_EQ(terminal::Number(Bytes(mac1.begin(), mac1.begin() + 4)), 1u) << "the PSAM's first transaction";

  const Bytes debit = Debit(terminal::DebitData(DataOf(mac1), terminal::kWhen));
  ASSERT_EQ(StatusWord(debit), sw::kOk);
  ASSERT_EQ(debit.size(), 10u);
  const Bytes tac(debit.begin(), debit.begin() + 4);
  const Bytes mac2(debit.begin() + 4, debit.begin() + 8);
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu({0x80, 0x72, 0x00, 0x00}, mac2))), sw::kOk);
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu({0x80, 0x72, 0x00, 0x00}, mac2))), sw::kInvalidState)
      << "a MAC2 is checked once";

  // The TAC, checked by the PSAM and against the card keys derived here.
  ASSERT_EQ(StatusWord(Sam(terminal::Apdu({0x80, 0x1A, PsamPurse::kTacKeyUsage, Purse::kKeyVersion},
                                          terminal::DiversificationData(issuerFile)))),
            sw::kOk);
  const Bytes message = terminal::PurchaseTacMessage(1250, 1, terminal::kWhen, terminal::kPsamTerminal);
  EXPECT_EQ(Sam(terminal::Apdu({0x80, 0xFA, PsamPurse::kMacOperation, 0x00}, message)),
            (Bytes{tac[0], tac[1], tac[2], tac[3], 0x90, 0x00}));
  const purse::PurseKeys keys = purse::CardKeys(purse::kDefaultMasterKeys, IssuerFile::IssuerId(issuerFile),
                                                IssuerFile::DiversifyingSerial(issuerFile));
  const Mac expectedTac = purse::PurchaseTac(keys.tac, {1250, terminal::kPsamTerminal, 1, terminal::kWhen});
  EXPECT_EQ(tac, Bytes(expectedTac.begin(), expectedTac.end()));

  EXPECT_EQ(CardBalance(), 8750u);
  EXPECT_EQ(card->ElectronicPurse().OfflineCounter(), 1);
  Bytes record{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xE2, purse::kPurchaseType};
  terminal::Append(record, terminal::kPsamTerminal);
  terminal::Append(record, terminal::kWhen.date);
  terminal::Append(record, terminal::kWhen.time);
  EXPECT_EQ(DataOf(Card(kReadNewestRecord)), record);

  // The next purchase counts on: card counter 1, PSAM serial 2.
  const Bytes next = InitializeForPurchase(750);
  EXPECT_EQ(terminal::PurchaseStart::Parse(DataOf(next)).offlineCounter, 1);
  const Bytes nextMac1 = PsamMac1(next, 750);
  EXPECT_EQ(terminal::Number(Bytes(nextMac1.begin(), nextMac1.begin() + 4)), 2u);
  EXPECT_EQ(StatusWord(Debit(terminal::DebitData(DataOf(nextMac1), terminal::kWhen))), sw::kOk);
  EXPECT_EQ(CardBalance(), 8000u);
  EXPECT_EQ(DataOf(Card(kReadNewestRecord))[1], 0x01);
  EXPECT_EQ(DataOf(Card({0x00, 0xB2, 0x02, 0xC4, 0x00})), record) << "the first purchase is record 2 now";
}

// Each refused purchase leaves balance, counter and records as they were.
// A host whose DEBIT answer was lost asks the card for the proof of the
// purchase by the counter INITIALIZE gave it: the same MAC2 and TAC, through
// a power cycle; a counter or type that names no purchase proves nothing.
TEST_F(PurseTest, TransactionProveGivesTheLastPurchasesMac2AndTacByItsCounter) {
  const auto prove = [&](uint8_t type, uint16_t counter) {
    const Bytes counterBytes{static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter)};
    return Card(terminal::Apdu({0x80, 0x5A, 0x00, type}, counterBytes, 0x08));
  };
  EXPECT_EQ(StatusWord(prove(purse::kPurchaseType, 0)), sw::kProveUnavailable) << "no purchase yet";
  const Bytes first = Purchase(300);
  ASSERT_EQ(StatusWord(first), sw::kOk);
  const Bytes second = Purchase(200);
  ASSERT_EQ(StatusWord(second), sw::kOk);
  card->PowerCycle();
  ASSERT_EQ(StatusWord(Card(kSelectApplication)), sw::kOk);

  const Bytes proof = prove(purse::kPurchaseType, 1);
  ASSERT_EQ(StatusWord(proof), sw::kOk);
  Bytes mac2ThenTac(second.begin() + 4, second.begin() + 8);
  mac2ThenTac.insert(mac2ThenTac.end(), second.begin(), second.begin() + 4);
  EXPECT_EQ(DataOf(proof), mac2ThenTac) << "the DEBIT answered TAC, then MAC2";
  EXPECT_EQ(StatusWord(prove(purse::kPurchaseType, 0)), sw::kProveUnavailable) << "only the last purchase";
  EXPECT_EQ(StatusWord(prove(purse::kPurchaseType, 2)), sw::kProveUnavailable) << "the next counter did nothing yet";
  EXPECT_EQ(StatusWord(prove(purse::kLoadType, 1)), sw::kProveUnavailable);
  EXPECT_EQ(CardBalance(), 9500u) << "proving moves no money";
}

TEST_F(PurseTest, RefusedPurchasesLeaveTheMoneyAndTheRecordsAlone) {
  const auto unchanged = [&](const char* what) {
    EXPECT_EQ(CardBalance(), 10000u) << what;
    EXPECT_EQ(card->ElectronicPurse().OfflineCounter(), 0) << what;
    EXPECT_EQ(DataOf(Card(kReadNewestRecord))[0], 0x02) << what << ": the newest record is the old one";
  };

  const Bytes init = InitializeForPurchase(100);
  Bytes debitData = terminal::DebitData(DataOf(PsamMac1(init, 100)), terminal::kWhen);
  debitData.back() ^= 0x01;
  EXPECT_EQ(StatusWord(Debit(debitData)), sw::kWrongPurseMac);
  unchanged("wrong MAC1");
  debitData.back() ^= 0x01;
  EXPECT_EQ(StatusWord(Debit(debitData)), sw::kInvalidState) << "a wrong MAC1 ends the transaction";

  EXPECT_EQ(StatusWord(InitializeForPurchase(10001)), sw::kInsufficientBalance);
  EXPECT_EQ(StatusWord(InitializeForPurchase(10000)), sw::kOk) << "the whole balance may go";
  EXPECT_EQ(StatusWord(InitializeForPurchase(100, 0x02)), sw::kKeyIndexUnsupported);
  unchanged("refused initialisations");

  // Any other command between INITIALIZE and DEBIT drops the transaction.
  const Bytes again = InitializeForPurchase(100);
  const Bytes mac1 = PsamMac1(again, 100);
  Card(kGetBalance);
  EXPECT_EQ(StatusWord(Debit(terminal::DebitData(DataOf(mac1), terminal::kWhen))), sw::kInvalidState);
  unchanged("an interrupted transaction");

  // A card of another issuer: the PSAM's MAC1 cannot be right for it.
  CpuCardProfile stranger;
  stranger.masterKeys.purchase[0] ^= 0x80;  // not a parity bit, which DES ignores
  card = std::make_shared<CpuCard>(stranger);
  Prepare();
  EXPECT_EQ(StatusWord(Purchase(100)), sw::kWrongPurseMac);
  unchanged("another issuer's card");
}

TEST_F(PurseTest, BlockedApplicationRefusesThePurseUntilUnblocked) {
  EXPECT_EQ(StatusWord(WithMac({0x84, 0x1E, 0x00, 0x00})), sw::kOk);
  EXPECT_TRUE(card->ElectronicPurse().Blocked());
  EXPECT_EQ(StatusWord(InitializeForPurchase(100)), sw::kApplicationBlocked);
  EXPECT_EQ(StatusWord(Card(kGetBalance)), sw::kApplicationBlocked);
  EXPECT_EQ(StatusWord(Card({0x84, 0x18, 0x00, 0x00, 0x04, 1, 2, 3, 4})), sw::kChallengeMissing)
      << "unblocking needs the MAC";
  EXPECT_EQ(StatusWord(WithMac({0x84, 0x18, 0x00, 0x00})), sw::kOk);
  EXPECT_EQ(StatusWord(Purchase(100)), sw::kOk);
  EXPECT_EQ(CardBalance(), 9900u);

  EXPECT_EQ(StatusWord(WithMac({0x84, 0x1E, 0x00, 0x01})), sw::kOk);
  EXPECT_EQ(StatusWord(WithMac({0x84, 0x18, 0x00, 0x00})), sw::kConditionsNotSatisfied) << "blocked for good";
  EXPECT_EQ(StatusWord(InitializeForPurchase(100)), sw::kApplicationBlocked);
  EXPECT_EQ(card->Balance(), 9900u);
}

TEST_F(PurseTest, LoadNeedsThePinAndTheHostsMac2AndAnswersTheTac) {
  const auto initializeForLoad = [&](uint32_t amount) {
    return Card(terminal::Apdu({0x80, 0x50, 0x00, 0x02}, terminal::InitializeData(amount, terminal::kPsamTerminal), 0x10));
  };
  EXPECT_EQ(StatusWord(initializeForLoad(5000)), sw::kSecurityNotSatisfied);
  ASSERT_EQ(StatusWord(Card({0x00, 0x20, 0x00, 0x00, 0x03, 0x12, 0x34, 0x56})), sw::kOk);

  const purse::PurseKeys keys = purse::CardKeys(purse::kDefaultMasterKeys, IssuerFile::IssuerId(issuerFile),
                                                IssuerFile::DiversifyingSerial(issuerFile));
  const purse::LoadTerms terms{5000, terminal::kPsamTerminal, terminal::kWhen};
  const auto credit = [&](const Bytes& init, bool spoil) {
    const Bytes data = DataOf(init);
    purse::CardRandom random{};
    std::copy(data.begin() + 8, data.begin() + 12, random.begin());
    const purse::SingleKey session =
        purse::LoadSessionKey(keys.load, random, static_cast<uint16_t>(terminal::Number(std::span(data).subspan(4, 2))));
    const Mac mac1 = purse::LoadMac1(session, terminal::Number(std::span(data).first(4)), terms);
    EXPECT_EQ(Bytes(data.begin() + 12, data.end()), Bytes(mac1.begin(), mac1.end())) << "the card's MAC1";
    Mac mac2 = purse::LoadMac2(session, terms);
    if (spoil) mac2[0] ^= 0x80;
    Bytes creditData(terminal::kWhen.date.begin(), terminal::kWhen.date.end());
    terminal::Append(creditData, terminal::kWhen.time);
    terminal::Append(creditData, mac2);
    return Card(terminal::Apdu({0x80, 0x52, 0x00, 0x00}, creditData, 0x04));
  };

  const Bytes refused = credit(initializeForLoad(5000), true);
  EXPECT_EQ(StatusWord(refused), sw::kWrongPurseMac);
  EXPECT_EQ(CardBalance(), 10000u);
  EXPECT_EQ(card->ElectronicPurse().OnlineCounter(), 0);

  const Bytes init = initializeForLoad(5000);
  ASSERT_EQ(init.size(), 18u);
  const Bytes tac = credit(init, false);
  ASSERT_EQ(StatusWord(tac), sw::kOk);
  const Mac expectedTac = purse::LoadTac(keys.tac, 15000, 0, terms);
  EXPECT_EQ(DataOf(tac), Bytes(expectedTac.begin(), expectedTac.end()));
  EXPECT_EQ(CardBalance(), 15000u);
  EXPECT_EQ(card->ElectronicPurse().OnlineCounter(), 1);
  const Bytes record = DataOf(Card(kReadNewestRecord));
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 10),
            (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13, 0x88, purse::kLoadType}));

  CpuCardProfile nearlyFull;
  nearlyFull.balance = Purse::kMostBalance - 100;
  card = std::make_shared<CpuCard>(nearlyFull);
  Prepare();
  Card({0x00, 0x20, 0x00, 0x00, 0x03, 0x12, 0x34, 0x56});
  EXPECT_EQ(StatusWord(initializeForLoad(101)), sw::kPurseFull);
  EXPECT_EQ(StatusWord(initializeForLoad(100)), sw::kOk);
}

TEST_F(PurseTest, PsamRefusesMac1RequestsItCannotServe) {
  const Bytes init = InitializeForPurchase(100);
  const auto start = terminal::PurchaseStart::Parse(DataOf(init));
  const Bytes data = terminal::Mac1Data(start, 100, issuerFile, terminal::kWhen);
  const Bytes header{0x80, 0x70, 0x00, 0x00};
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu(header, Bytes(data.begin(), data.end() - 1), 0x08))), sw::kWrongLength);
  Bytes otherVersion = data;
  otherVersion[18] = 0x02;
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu(header, otherVersion, 0x08))), sw::kReferenceNotFound);
  Bytes otherType = data;
  otherType[10] = 0x09;
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu(header, otherType, 0x08))), sw::kIncorrectData);
  EXPECT_EQ(StatusWord(Sam({0x80, 0x72, 0x00, 0x00, 0x04, 1, 2, 3, 4})), sw::kInvalidState);
  EXPECT_EQ(StatusWord(Sam({0x80, 0xFA, 0x05, 0x00, 0x02, 1, 2})), sw::kConditionsNotSatisfied)
      << "no TAC key taken";
  EXPECT_EQ(psam->Purchase().TerminalSerial(), 1u) << "refusals use no serial number";
  Sam({0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00});
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu(header, data, 0x08))), sw::kConditionsNotSatisfied)
      << "outside the purchase application";
}

TEST_F(PurseTest, ContactPsamHandsMac1OverThroughGetResponse) {
  psam->SetContactMode(true);
  const Bytes init = InitializeForPurchase(300);
  const Bytes waiting = PsamMac1(init, 300);
  EXPECT_EQ(waiting, (Bytes{0x61, 0x08}));
  const Bytes mac1 = Sam({0x00, 0xC0, 0x00, 0x00, 0x08});
  ASSERT_EQ(StatusWord(mac1), sw::kOk);
  const Bytes debit = Debit(terminal::DebitData(DataOf(mac1), terminal::kWhen));
  ASSERT_EQ(StatusWord(debit), sw::kOk);
  EXPECT_EQ(Sam(terminal::Apdu({0x80, 0x72, 0x00, 0x00}, Bytes(debit.begin() + 4, debit.begin() + 8))),
            (Bytes{0x90, 0x00}));
  EXPECT_EQ(CardBalance(), 9700u);
}

// Every purchase draws its own card random, so that its MAC2 proves this
// purchase alone: two cards of one profile, the same amount and terminal,
// answer different randoms and MAC2s, and the PSAM refuses the MAC2 of the
// other purchase where a lane reused it. A seed repeats them.
TEST_F(PurseTest, EachPurchaseDrawsAFreshRandomAndAStaleMac2IsRefused) {
  const Bytes first = InitializeForPurchase(100);
  ASSERT_EQ(StatusWord(first), sw::kOk);
  const Bytes mac1 = PsamMac1(first, 100);
  const Bytes debit = Debit(terminal::DebitData(DataOf(mac1), terminal::kWhen));
  ASSERT_EQ(StatusWord(debit), sw::kOk);
  const Bytes staleMac2(debit.begin() + 4, debit.begin() + 8);

  card = std::make_shared<CpuCard>();  // the next vehicle, a card of the same profile
  psam = std::make_shared<Psam>();
  Prepare();
  const Bytes second = InitializeForPurchase(100);
  ASSERT_EQ(StatusWord(second), sw::kOk);
  EXPECT_NE(terminal::PurchaseStart::Parse(DataOf(second)).random, terminal::PurchaseStart::Parse(DataOf(first)).random);
  ASSERT_EQ(StatusWord(PsamMac1(second, 100)), sw::kOk);
  EXPECT_EQ(StatusWord(Sam(terminal::Apdu({0x80, 0x72, 0x00, 0x00}, staleMac2))), sw::kWrongPurseMac)
      << "the MAC2 of the purchase before";

  const Bytes getChallenge{0x00, 0x84, 0x00, 0x00, 0x08};
  EXPECT_NE(Card(getChallenge), Card(getChallenge)) << "a challenge of its own every time";
  CpuCardProfile seeded;
  seeded.randomSeed = 7;
  EXPECT_EQ(CpuCard(seeded).Exchange(getChallenge), CpuCard(seeded).Exchange(getChallenge)) << "the same seed";
}

// A card that served lanes, saved as a state file and loaded again, is the
// card it was: balance, counters, records, cardholder file and a blocked
// application; its next purchase goes on from its own counter.
TEST_F(PurseTest, AStateFileKeepsWhatTheCardHoldsNow) {
  VirtualReader reader;
  reader.InsertCard(card);
  ASSERT_EQ(StatusWord(Purchase(1250)), sw::kOk);
  ASSERT_EQ(StatusWord(Purchase(250)), sw::kOk);
  ASSERT_EQ(StatusWord(Card({0x00, 0x20, 0x00, 0x00, 0x03, 0x12, 0x34, 0x56})), sw::kOk);
  Bytes updateHolder{0x00, 0xD6, 0x96, 0x00, 0x28};
  updateHolder.resize(updateHolder.size() + 40, 0x5E);
  ASSERT_EQ(StatusWord(Card(updateHolder)), sw::kOk);

  const auto loadedAgain = [](const std::string& saved) {
    VirtualReader next;
    LoadField(saved, next);
    std::shared_ptr<CpuCard> again;
    next.WithState([&](ReaderState& state) { again = std::dynamic_pointer_cast<CpuCard>(state.field.Cards().at(0)); });
    return again;
  };
  const std::shared_ptr<CpuCard> again = loadedAgain(FieldState("", reader));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Balance(), 8500u);
  EXPECT_EQ(again->ElectronicPurse().OfflineCounter(), 2);
  EXPECT_EQ(again->ApplicationFile(CpuCardProfile::kTransactionFile).records,
            card->ApplicationFile(CpuCardProfile::kTransactionFile).records);
  EXPECT_EQ(again->ApplicationFile(CpuCardProfile::kTransactionFile).records.size(), 4u);
  EXPECT_EQ(again->ApplicationFile(CpuCardProfile::kCardholderFile).content, Bytes(40, 0x5E));
  EXPECT_FALSE(again->ElectronicPurse().Blocked());

  card = again;
  Prepare();
  const Bytes init = InitializeForPurchase(100);
  ASSERT_EQ(StatusWord(init), sw::kOk);
  EXPECT_EQ(terminal::PurchaseStart::Parse(DataOf(init)).offlineCounter, 2) << "the counter goes on, never back";

  ASSERT_EQ(StatusWord(WithMac({0x84, 0x1E, 0x00, 0x01})), sw::kOk);
  VirtualReader blockedReader;
  blockedReader.InsertCard(card);
  const std::shared_ptr<CpuCard> blocked = loadedAgain(FieldState("", blockedReader));
  ASSERT_NE(blocked, nullptr);
  EXPECT_EQ(blocked->ElectronicPurse().Blocking(), PurseBlock::kPermanent) << "a card blocked for good stays so";
}

TEST(PurseStateFile, RefusesRecordsTheFileCannotHold) {
  VirtualReader reader;
  const std::string record23(46, '0');
  const struct {
    std::string json;
    const char* place;
  } mistakes[] = {
      {R"({"cards": [{"kind": "cpu", "purchaseCounter": 65536}]})", "cards[0].purchaseCounter"},
      {R"({"cards": [{"kind": "cpu", "blocked": "for ever"}]})", "cards[0].blocked"},
      {R"({"cards": [{"kind": "cpu", "records": ["00"]}]})", "cards[0].records[0]"},
      {R"({"cards": [{"kind": "cpu", "records": [)" + [&] {
         std::string eleven;
         for (int i = 0; i < 11; ++i) eleven += (i ? ", \"" : "\"") + record23 + "\"";
         return eleven;
       }() + "]}]}",
       "cards[0].records"},
  };
  for (const auto& mistake : mistakes) {
    try {
      LoadField(mistake.json, reader);
      ADD_FAILURE() << "accepted " << mistake.json;
    } catch (const FieldFileError& error) {
      EXPECT_NE(std::string(error.what()).find(mistake.place), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace vqsim
