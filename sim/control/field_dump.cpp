#include "sim/control/field_dump.h"

#include "shared/hex_text.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/files/field_json.h"
#include "sim/lane/locked_psam.h"

namespace vqsim {

namespace {

using nlohmann::json;

json CardDump(const Card& card, bool inField, bool selected) {
  json entry = {{"serial", vqshared::EncodeHex(card.Serial())}, {"inField", inField}, {"selected", selected}};
  entry.update(field_json::CardContents(card));
  if (dynamic_cast<const CpuCard*>(&card) != nullptr) {
    entry["kind"] = "cpu";
  } else if (const auto* mifare = dynamic_cast<const MifareClassic*>(&card)) {
    entry["kind"] = "mifare-one";
    const std::optional<int> sector = mifare->AuthenticatedSector();
    entry["authenticatedSector"] = sector ? json(*sector) : json();
  }
  return entry;
}

}  // namespace

json FieldDump(VirtualReader& reader) {
  json dump = {{"cards", json::array()}};
  reader.WithState([&dump](ReaderState& state) {
    for (const auto& card : state.field.Cards()) {
      dump["cards"].push_back(CardDump(*card, true, state.field.Selected() == card));
    }
    for (const auto& card : state.aside) dump["cards"].push_back(CardDump(*card, false, false));
    dump["psam"] = !state.psamPresent                                     ? "removed"
                   : dynamic_cast<const LockedPsam*>(state.psam.get()) ? "locked"
                                                                        : "present";
  });
  dump["armed"] = reader.DescribeArmed();
  dump["scenario"] = reader.DescribeScenario();
  return dump;
}

}  // namespace vqsim
