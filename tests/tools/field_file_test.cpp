// The JSON description of the virtual reader's field and PSAM slot.

#include <gtest/gtest.h>

#include "sim/cards/cpu_card.h"
#include "sim/files/field_file.h"
#include "sim/cards/mifare/mifare_classic.h"

namespace vqsim {
namespace {

std::vector<std::shared_ptr<Card>> CardsOf(VirtualReader& reader) {
  std::vector<std::shared_ptr<Card>> cards;
  reader.WithState([&](ReaderState& state) { cards = state.field.Cards(); });
  return cards;
}

TEST(FieldFile, BuildsTheCardsBlocksTrailersAndPsam) {
  VirtualReader reader;
  LoadField(R"({
    "cards": [
      {"kind": "mifare-one", "serial": "01020304",
       "blocks": {"5": "000102030405060708090A0B0C0D0E0F"},
       "sectors": {"1": {"keyA": "A0A1A2A3A4A5", "accessBits": "78778869"}}},
      {"kind": "cpu", "serial": "5A000001", "balance": 7}
    ],
    "psam": {"present": false}
  })", reader);
  const auto cards = CardsOf(reader);
  ASSERT_EQ(cards.size(), 2u);
  auto* mifare = AsMifareClassic(cards[0].get());
  ASSERT_NE(mifare, nullptr);
  EXPECT_EQ(mifare->Serial(), (std::array<uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(mifare->RawBlock(5)[15], 0x0F);
  const MifareClassic::Block trailer = mifare->RawBlock(7);
  EXPECT_EQ(trailer[0], 0xA0);
  EXPECT_EQ(trailer[6], 0x78);
  EXPECT_EQ(trailer[10], 0xFF) << "key B stays as it was";
  auto* cpu = dynamic_cast<CpuCard*>(cards[1].get());
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu->Balance(), 7u);
  reader.WithState([](ReaderState& state) {
    EXPECT_FALSE(state.psamPresent);
    EXPECT_NE(state.psam, nullptr);
  });
}

TEST(FieldFile, RefusesMistakesByPlaceAndChangesNothing) {
  VirtualReader reader;
  LoadField(R"({"cards": [{"kind": "mifare-one"}]})", reader);
  const struct {
    const char* json;
    const char* place;
  } mistakes[] = {
      {R"({"cards": [{"kind": "mifare-one", "serail": "01020304"}]})", "cards[0]: unknown key \"serail\""},
      {R"({"cards": [{"kind": "mifare-one", "blocks": {"64": "00"}}]})", "cards[0].blocks"},
      {R"({"cards": [{"kind": "mifare-one", "blocks": {"4": "0011"}}]})", "cards[0].blocks.4"},
      {R"({"cards": [{"kind": "mifare-one", "serial": "0102030G"}]})", "cards[0].serial"},
      {R"({"cards": [{}, {"kind": "felica"}]})", "cards[0]"},
      {R"({"cards": [{"kind": "cpu", "balance": -5}]})", "cards[0].balance"},
      {R"({"psam": {"terminalNumber": "0102"}})", "psam.terminalNumber"},
      {R"({"cards": [)", "not valid JSON at line 1, column 12"},
      {"{\n  \"cards\": [\n    {\"kind\": \"mifare-one\",}\n  ]\n}", "not valid JSON at line 3, column 27"},
  };
  for (const auto& mistake : mistakes) {
    try {
      LoadField(mistake.json, reader);
      ADD_FAILURE() << "accepted " << mistake.json;
    } catch (const FieldFileError& error) {
      EXPECT_NE(std::string(error.what()).find(mistake.place), std::string::npos)
          << error.what() << " for " << mistake.json;
    }
  }
  EXPECT_EQ(CardsOf(reader).size(), 1u) << "the field from before the refusals";
}

// The state a run leaves, loaded again: every block as written, and the
// rest of the description as it was.
TEST(FieldFile, TheStateOfAFieldLoadsBackAsItWasLeft) {
  VirtualReader reader;
  const std::string described =
      R"({"cards": [{"kind": "mifare-one", "serial": "01020304", "sectors": {"1": {"keyA": "A0A1A2A3A4A5"}}},
                    {"kind": "cpu", "balance": 500, "pin": "1234"}], "psam": false})";
  LoadField(described, reader);
  auto mifare = std::dynamic_pointer_cast<MifareClassic>(CardsOf(reader)[0]);
  auto cpu = std::dynamic_pointer_cast<CpuCard>(CardsOf(reader)[1]);
  ASSERT_NE(mifare, nullptr);
  ASSERT_NE(cpu, nullptr);
  mifare->PokeBlock(5, MifareClassic::Block{0xAB, 0xCD});

  VirtualReader next;
  LoadField(FieldState(described, reader), next);
  auto mifareAgain = std::dynamic_pointer_cast<MifareClassic>(CardsOf(next)[0]);
  auto cpuAgain = std::dynamic_pointer_cast<CpuCard>(CardsOf(next)[1]);
  ASSERT_NE(mifareAgain, nullptr);
  ASSERT_NE(cpuAgain, nullptr);
  EXPECT_EQ(mifareAgain->Serial(), mifare->Serial());
  for (int block = 0; block < MifareClassic::kBlocks; ++block) {
    EXPECT_EQ(mifareAgain->RawBlock(block), mifare->RawBlock(block)) << block;
  }
  EXPECT_EQ(mifareAgain->RawBlock(7)[0], 0xA0) << "the trailer's key A kept";
  EXPECT_EQ(cpuAgain->Balance(), 500u);
  next.WithState([](ReaderState& state) { EXPECT_FALSE(state.psamPresent); });
}

// Cards leave and come while a reader runs: each card saved keeps its own
// description and contents (found by its serial, not by its place), a card
// that left is not saved, and one that came is saved by its kind and serial.
TEST(FieldFile, TheStateFollowsCardsThatLeftAndCame) {
  VirtualReader reader;
  const std::string described = R"({"cards": [{"kind": "mifare-one", "serial": "01010101"},
                                              {"kind": "mifare-one", "serial": "02020202",
                                               "sectors": {"1": {"keyA": "B0B1B2B3B4B5"}}}]})";
  LoadField(described, reader);
  const auto first = CardsOf(reader)[0];
  auto second = std::dynamic_pointer_cast<MifareClassic>(CardsOf(reader)[1]);
  ASSERT_NE(second, nullptr);
  second->PokeBlock(4, MifareClassic::Block{0x22});
  reader.RemoveCard(first.get());
  auto newcomer = std::make_shared<MifareClassic>(std::array<uint8_t, 4>{3, 3, 3, 3});
  newcomer->PokeBlock(4, MifareClassic::Block{0x33});
  reader.InsertCard(newcomer);

  VirtualReader next;
  LoadField(FieldState(described, reader), next);
  const auto cards = CardsOf(next);
  ASSERT_EQ(cards.size(), 2u);
  auto secondAgain = std::dynamic_pointer_cast<MifareClassic>(cards[0]);
  auto newcomerAgain = std::dynamic_pointer_cast<MifareClassic>(cards[1]);
  ASSERT_NE(secondAgain, nullptr);
  ASSERT_NE(newcomerAgain, nullptr);
  EXPECT_EQ(secondAgain->Serial(), second->Serial());
  EXPECT_EQ(secondAgain->RawBlock(4)[0], 0x22) << "its own block, not the card's that left";
  EXPECT_EQ(secondAgain->RawBlock(7)[0], 0xB0) << "its own trailer";
  EXPECT_EQ(newcomerAgain->Serial(), newcomer->Serial());
  EXPECT_EQ(newcomerAgain->RawBlock(4)[0], 0x33);

  VirtualReader fromScenario;  // a field described nowhere
  LoadField(FieldState("", reader), fromScenario);
  EXPECT_EQ(CardsOf(fromScenario).size(), 2u);
}

}  // namespace
}  // namespace vqsim
