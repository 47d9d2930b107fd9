// Scenario files that cannot be run are refused with the place of the
// fault, and leave the reader as it was.

#include <gtest/gtest.h>

#include <string>

#include "sim/cards/mifare/mifare_classic.h"
#include "sim/files/scenario_file.h"

namespace vqsim {
namespace {

TEST(ScenarioFileTest, RefusalsNameThePlaceAndChangeNothing) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {R"({"events": [{"after": 1, "tear": "done"}]})", "events[0].tear: a tear happens \"during\" a command"},
      {R"({"events": [{"at": 5, "during": 1, "leave": "*"}]})", "events[0]: one of \"at\", \"after\" or \"during\" expected"},
      {R"({"events": [{"at": 5}]})", "events[0]: one of \"enter\", \"leave\", \"tear\", \"fault\", \"powerOff\" or \"psam\" expected"},
      {R"({"events": [{"at": 5, "enter": "nobody"}]})", "events[0].enter: the name of a card in \"cards\" expected"},
      {R"({"events": [{"during": {"command": "6"}, "fault": {"silent": true}}]})", "events[0].during.command: 1 bytes of hex expected"},
      {R"({"events": [{"during": {"count": 0}, "fault": {"late": 5}}]})", "events[0].during.count: a whole number from 1 to 1000000 expected"},
      {R"({"events": [{"after": {"times": 2}, "leave": "*"}]})", "events[0].after: unknown key \"times\""},
      {R"({"events": [{"during": 1, "fault": {}}]})", "events[0].fault: a fault expected: silent, late, garbage or wrongSequence"},
      {R"({"events": [{"during": 1, "tear": "half"}]})", "events[0].tear: \"done\", \"not-done\" or \"corrupt\" expected"},
      {R"({"events": [{"at": 1, "psam": "broken"}]})", "events[0].psam: \"present\", \"locked\" or \"removed\" expected"},
      {R"({"cards": {"a": {"kind": "cpu"}}, "field": ["a", "a"]})", "field[1]: that card is in the field already"},
      {R"({"cards": {"a": {"kind": "tape"}}})", "cards.a.kind: \"mifare-one\" or \"cpu\" expected"},
  };
  for (const auto& refused : cases) {
    VirtualReader reader;
    auto card = std::make_shared<MifareClassic>(std::array<uint8_t, 4>{1, 2, 3, 4});
    reader.InsertCard(card);
    try {
      LoadScenario(refused.text, reader);
      ADD_FAILURE() << refused.text << " was taken";
    } catch (const FieldFileError& error) {
      EXPECT_EQ(std::string(error.what()), refused.message);
    }
    reader.WithState([&](ReaderState& state) { EXPECT_EQ(state.field.Cards().size(), 1u) << refused.text; });
    EXPECT_TRUE(reader.DescribeScenario().empty());
  }
}

}  // namespace
}  // namespace vqsim
