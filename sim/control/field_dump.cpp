#include "sim/control/field_dump.h"

#include "shared/hex_text.h"
#include "sim/cards/cpu_card.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/lane/locked_psam.h"

namespace vqsim {

namespace {

using nlohmann::json;

json CardDump(Card& card, bool inField, bool selected) {
  json entry = {{"serial", vqshared::EncodeHex(card.Serial())}, {"inField", inField}, {"selected", selected}};
  if (auto* cpu = dynamic_cast<CpuCard*>(&card)) {
    entry["kind"] = "cpu";
    entry["balance"] = cpu->Balance();
    entry["purchaseCounter"] = cpu->ElectronicPurse().OfflineCounter();
    entry["loadCounter"] = cpu->ElectronicPurse().OnlineCounter();
    json records = json::array();
    for (const auto& record : cpu->ApplicationFile(CpuCardProfile::kTransactionFile).records) {
      records.push_back(vqshared::EncodeHex(record));
    }
    entry["records"] = std::move(records);
  } else if (const auto* mifare = dynamic_cast<const MifareClassic*>(&card)) {
    entry["kind"] = "mifare-one";
    const std::optional<int> sector = mifare->AuthenticatedSector();
    entry["authenticatedSector"] = sector ? json(*sector) : json();
    json blocks = json::object();
    for (int block = 0; block < MifareClassic::kBlocks; ++block) {
      blocks[std::to_string(block)] = vqshared::EncodeHex(mifare->RawBlock(block));
    }
    entry["blocks"] = std::move(blocks);
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
