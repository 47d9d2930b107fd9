#include "sim/files/field_file.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <nlohmann/json.hpp>
#include <vector>

#include "shared/file_text.h"
#include "shared/hex_text.h"
#include "shared/json_text.h"
#include "sim/cards/cpu_card.h"
#include "shared/mifare_access.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/files/field_json.h"
#include "sim/cards/psam.h"

namespace vqsim {

namespace field_json {

[[noreturn]] void Refuse(const std::string& where, const std::string& what) {
  throw FieldFileError(where + ": " + what);
}

// An object with none but the known keys: a misspelt key is an error, not a default.
void CheckObject(const json& value, const std::string& where,
                 std::initializer_list<std::string_view> known) {
  if (!value.is_object()) Refuse(where, "an object expected");
  for (const auto& [key, member] : value.items()) {
    if (std::ranges::find(known, key) == known.end()) Refuse(where, "unknown key \"" + key + "\"");
  }
}

// Hex digits in pairs, blanks between pairs allowed; minSize..maxSize bytes.
std::vector<uint8_t> HexBytes(const json& value, const std::string& where, size_t minSize,
                              size_t maxSize) {
  const std::string expected = minSize == maxSize
                                   ? std::to_string(minSize) + " bytes of hex expected"
                                   : std::to_string(minSize) + " to " + std::to_string(maxSize) +
                                         " bytes of hex expected";
  if (!value.is_string()) Refuse(where, expected);
  const std::optional<std::vector<uint8_t>> bytes = vqshared::DecodeHex(value.get<std::string>());
  if (!bytes || bytes->size() < minSize || bytes->size() > maxSize) Refuse(where, expected);
  return *bytes;
}

template <size_t N>
std::array<uint8_t, N> HexArray(const json& value, const std::string& where) {
  const std::vector<uint8_t> bytes = HexBytes(value, where, N, N);
  std::array<uint8_t, N> array{};
  std::ranges::copy(bytes, array.begin());
  return array;
}

uint32_t Number(const json& value, const std::string& where, uint32_t max) {
  if (!value.is_number_unsigned() || value.get<uint64_t>() > max) {
    Refuse(where, "a whole number from 0 to " + std::to_string(max) + " expected");
  }
  return value.get<uint32_t>();
}

int IndexKey(const std::string& key, const std::string& where, int count) {
  int index = -1;
  const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), index);
  if (error != std::errc{} || end != key.data() + key.size() || index < 0 || index >= count) {
    Refuse(where, "\"" + key + "\" is not a number from 0 to " + std::to_string(count - 1));
  }
  return index;
}

// The parts of a sector trailer that the description names.
void ApplyTrailer(MifareClassic& card, int sector, const json& parts, const std::string& where) {
  CheckObject(parts, where, {"keyA", "accessBits", "keyB"});
  const int block = 4 * sector + 3;
  MifareClassic::Block trailer = card.RawBlock(block);
  if (parts.contains("keyA")) {
    std::ranges::copy(HexArray<6>(parts["keyA"], where + ".keyA"), trailer.begin());
  }
  if (parts.contains("accessBits")) {
    const auto bits = HexArray<4>(parts["accessBits"], where + ".accessBits");
    if (!vqshared::mifare::DecodeAccessBits(std::span<const uint8_t, 3>(bits.data(), 3))) {
      Refuse(where + ".accessBits", "the access bits and their inverses disagree");
    }
    std::ranges::copy(bits, trailer.begin() + 6);
  }
  if (parts.contains("keyB")) {
    std::ranges::copy(HexArray<6>(parts["keyB"], where + ".keyB"), trailer.begin() + 10);
  }
  card.PokeBlock(block, trailer);
}

std::shared_ptr<Card> MifareCardFrom(const json& description, const std::string& where) {
  CheckObject(description, where, {"kind", "serial", "blocks", "sectors"});
  auto card = std::make_shared<MifareClassic>(
      HexArray<4>(description.value("serial", json("A1B2C3D4")), where + ".serial"));
  if (description.contains("blocks")) {
    const std::string blocksAt = where + ".blocks";
    if (!description["blocks"].is_object()) Refuse(blocksAt, "an object expected");
    for (const auto& [key, content] : description["blocks"].items()) {
      const int block = IndexKey(key, blocksAt, MifareClassic::kBlocks);
      card->PokeBlock(block, HexArray<16>(content, blocksAt + "." + key));
    }
  }
  if (description.contains("sectors")) {
    const std::string sectorsAt = where + ".sectors";
    if (!description["sectors"].is_object()) Refuse(sectorsAt, "an object expected");
    for (const auto& [key, parts] : description["sectors"].items()) {
      ApplyTrailer(*card, IndexKey(key, sectorsAt, MifareClassic::kSectors), parts,
                   sectorsAt + "." + key);
    }
  }
  return card;
}

// A blocked application as a field file names it; not blocked: no key.
struct BlockName {
  const char* text;
  PurseBlock block;
};
constexpr BlockName kBlockNames[] = {{"temporary", PurseBlock::kTemporary}, {"permanent", PurseBlock::kPermanent}};

std::shared_ptr<Card> CpuCardFrom(const json& description, const std::string& where,
                                  std::optional<uint32_t> randomSeed) {
  CheckObject(description, where,
              {"kind", "serial", "applicationName", "pin", "externalKey", "internalKey", "macKey",
               "balance", "issuerData", "cardholderData", "randomSeed", "purchaseCounter", "loadCounter",
               "blocked", "records"});
  CpuCardProfile profile;
  profile.randomSeed = randomSeed;
  const auto member = [&](const char* key) { return description[key]; };
  const auto at = [&](const char* key) { return where + "." + key; };
  if (description.contains("serial")) profile.serial = HexArray<4>(member("serial"), at("serial"));
  if (description.contains("applicationName")) {
    profile.applicationName = HexBytes(member("applicationName"), at("applicationName"), 5, 16);
  }
  if (description.contains("pin")) profile.pin = HexBytes(member("pin"), at("pin"), 2, 6);
  if (description.contains("externalKey")) {
    profile.externalKey = HexArray<16>(member("externalKey"), at("externalKey"));
  }
  if (description.contains("internalKey")) {
    profile.internalKey = HexArray<16>(member("internalKey"), at("internalKey"));
  }
  if (description.contains("macKey")) profile.macKey = HexArray<16>(member("macKey"), at("macKey"));
  if (description.contains("balance")) {
    profile.balance = Number(member("balance"), at("balance"), 0x7FFFFFFF);
  }
  if (description.contains("issuerData")) {
    profile.issuerData = HexBytes(member("issuerData"), at("issuerData"), 30, 30);
  }
  if (description.contains("cardholderData")) {
    profile.cardholderData = HexBytes(member("cardholderData"), at("cardholderData"), 40, 40);
  }
  if (description.contains("randomSeed")) {
    profile.randomSeed = Number(member("randomSeed"), at("randomSeed"), 0xFFFFFFFF);
  }
  if (description.contains("purchaseCounter")) {
    profile.purchaseCounter = static_cast<uint16_t>(Number(member("purchaseCounter"), at("purchaseCounter"), 0xFFFF));
  }
  if (description.contains("loadCounter")) {
    profile.loadCounter = static_cast<uint16_t>(Number(member("loadCounter"), at("loadCounter"), 0xFFFF));
  }
  if (description.contains("blocked")) {
    const json& blocked = member("blocked");
    const BlockName* named = nullptr;
    for (const BlockName& name : kBlockNames) {
      if (blocked.is_string() && blocked.get<std::string>() == name.text) named = &name;
    }
    if (named == nullptr) Refuse(at("blocked"), "\"temporary\" or \"permanent\" expected");
    profile.blocked = named->block;
  }
  if (description.contains("records")) {
    const json& records = member("records");
    if (!records.is_array() || records.size() > CpuCardProfile::kTransactionCapacity) {
      Refuse(at("records"), "an array of at most " + std::to_string(CpuCardProfile::kTransactionCapacity) +
                                " records expected, the newest first");
    }
    profile.transactionRecords.emplace();
    for (size_t i = 0; i < records.size(); ++i) {
      profile.transactionRecords->push_back(HexBytes(records[i], at("records") + "[" + std::to_string(i) + "]",
                                                     CpuCardProfile::kTransactionRecordLength,
                                                     CpuCardProfile::kTransactionRecordLength));
    }
  }
  return std::make_shared<CpuCard>(std::move(profile));
}

PsamSlot DefaultPsamSlot(std::optional<uint32_t> randomSeed) {
  PsamProfile profile;
  profile.randomSeed = randomSeed;
  return {true, std::make_shared<Psam>(std::move(profile))};
}

PsamSlot PsamFrom(const json& description, const std::string& where, std::optional<uint32_t> randomSeed) {
  if (description.is_boolean()) return {description.get<bool>(), DefaultPsamSlot(randomSeed).psam};
  CheckObject(description, where,
              {"present", "terminalNumber", "serialNumber", "pin", "externalKey", "internalKey",
               "contactMode", "randomSeed"});
  PsamProfile profile;
  profile.randomSeed = randomSeed;
  const auto member = [&](const char* key) { return description[key]; };
  const auto at = [&](const char* key) { return where + "." + key; };
  if (description.contains("terminalNumber")) {
    profile.terminalNumber = HexArray<6>(member("terminalNumber"), at("terminalNumber"));
  }
  if (description.contains("serialNumber")) {
    profile.serialNumber = HexBytes(member("serialNumber"), at("serialNumber"), 10, 10);
  }
  if (description.contains("pin")) profile.pin = HexBytes(member("pin"), at("pin"), 2, 6);
  if (description.contains("externalKey")) {
    profile.externalKey = HexArray<16>(member("externalKey"), at("externalKey"));
  }
  if (description.contains("internalKey")) {
    profile.internalKey = HexArray<16>(member("internalKey"), at("internalKey"));
  }
  if (description.contains("randomSeed")) {
    profile.randomSeed = Number(member("randomSeed"), at("randomSeed"), 0xFFFFFFFF);
  }
  PsamSlot slot{true, std::make_shared<Psam>(std::move(profile))};
  if (description.contains("present")) {
    if (!member("present").is_boolean()) Refuse(at("present"), "true or false expected");
    slot.present = member("present").get<bool>();
  }
  if (description.contains("contactMode")) {
    if (!member("contactMode").is_boolean()) Refuse(at("contactMode"), "true or false expected");
    slot.psam->SetContactMode(member("contactMode").get<bool>());
  }
  return slot;
}

std::shared_ptr<Card> CardFrom(const json& description, const std::string& where,
                               std::optional<uint32_t> randomSeed) {
  if (!description.is_object() || !description.contains("kind")) {
    Refuse(where, "a card object with a \"kind\" expected");
  }
  const json& kind = description["kind"];
  if (kind == "mifare-one") return MifareCardFrom(description, where);
  if (kind == "cpu") return CpuCardFrom(description, where, randomSeed);
  Refuse(where + ".kind", "\"mifare-one\" or \"cpu\" expected");
}

// A time in milliseconds, fractions allowed.
Micros Milliseconds(const json& value, const std::string& where) {
  if (!value.is_number() || value.get<double>() < 0 || value.get<double>() > 600000) {
    Refuse(where, "milliseconds from 0 to 600000 expected");
  }
  return Micros(static_cast<int64_t>(value.get<double>() * 1000 + 0.5));
}

// {"51": 2.5, ...}: a code or instruction byte in hex, its time in ms.
void TimesByCode(const json& value, const std::string& where, std::map<uint8_t, Micros>& times) {
  if (!value.is_object()) Refuse(where, "an object expected");
  for (const auto& [key, time] : value.items()) {
    const std::optional<std::vector<uint8_t>> code = vqshared::DecodeHex(key);
    if (!code || code->size() != 1) Refuse(where, "\"" + key + "\" is not one byte in hex");
    times[(*code)[0]] = Milliseconds(time, where + "." + key);
  }
}

TimingProfile TimingFrom(const json& description, TimingProfile profile) {
  const std::string where = "timing";
  CheckObject(description, where, {"profile", "psamBaud", "commands", "cpuCard", "psam"});
  if (description.contains("profile")) {
    const json& name = description["profile"];
    if (name == "real") {
      profile = TimingProfile::Real();
    } else if (name == "instant") {
      profile = TimingProfile::Instant();
    } else {
      Refuse(where + ".profile", "\"real\" or \"instant\" expected");
    }
  }
  if (description.contains("psamBaud")) {
    profile.psamBaud = Number(description["psamBaud"], where + ".psamBaud", 1000000);
    if (profile.psamBaud < 300) Refuse(where + ".psamBaud", "a speed of 300 baud or more expected");
  }
  if (description.contains("commands")) TimesByCode(description["commands"], where + ".commands", profile.commands);
  if (description.contains("cpuCard")) {
    TimesByCode(description["cpuCard"], where + ".cpuCard", profile.cpuCardOverrides);
  }
  if (description.contains("psam")) TimesByCode(description["psam"], where + ".psam", profile.psamOverrides);
  return profile;
}

json CardContents(const Card& card) {
  json contents = json::object();
  if (const auto* mifare = dynamic_cast<const MifareClassic*>(&card)) {
    json& blocks = contents["blocks"] = json::object();
    for (int block = 0; block < MifareClassic::kBlocks; ++block) {
      blocks[std::to_string(block)] = vqshared::EncodeHex(mifare->RawBlock(block));
    }
  } else if (const auto* cpu = dynamic_cast<const CpuCard*>(&card)) {
    const Purse& purse = cpu->ElectronicPurse();
    contents["balance"] = purse.Balance();
    contents["purchaseCounter"] = purse.OfflineCounter();
    contents["loadCounter"] = purse.OnlineCounter();
    json& records = contents["records"] = json::array();
    for (const auto& record : cpu->ApplicationFile(CpuCardProfile::kTransactionFile).records) {
      records.push_back(vqshared::EncodeHex(record));
    }
  }
  return contents;
}

}  // namespace field_json

using namespace field_json;

namespace {

json Parsed(std::string_view text) {
  try {
    return vqshared::ParseJson(text);
  } catch (const vqshared::JsonTextError& error) {
    throw FieldFileError(error.what());
  }
}

std::string SerialText(const Card& card) { return vqshared::EncodeHex(card.Serial()); }

const char* KindOf(const Card& card) { return dynamic_cast<const CpuCard*>(&card) ? "cpu" : "mifare-one"; }

// Whether a field file's card description describes `card`: its kind and
// serial (the kind's default serial when it names none).
bool SameCard(const json& description, const Card& card) {
  if (description.value("kind", json()) != KindOf(card)) return false;
  const std::string fallback = dynamic_cast<const CpuCard*>(&card)
                                   ? vqshared::EncodeHex(CpuCardProfile{}.serial)
                                   : std::string("A1B2C3D4");
  const json serial = description.value("serial", json(fallback));
  const std::array<uint8_t, 4> own = card.Serial();
  return serial.is_string() &&
         vqshared::DecodeHex(serial.get<std::string>()) == std::optional(std::vector<uint8_t>(own.begin(), own.end()));
}

// `description` (empty: the card's kind and serial alone) with what the
// card holds now: its contents; a CPU card's files and whether it is
// blocked besides.
json CardState(json description, const Card& card) {
  if (description.empty()) description = {{"kind", KindOf(card)}, {"serial", SerialText(card)}};
  description.update(CardContents(card));
  description.erase("sectors");  // a MIFARE ONE card's trailers are among its blocks
  if (const auto* cpu = dynamic_cast<const CpuCard*>(&card)) {
    description.erase("blocked");
    for (const BlockName& name : kBlockNames) {
      if (cpu->ElectronicPurse().Blocking() == name.block) description["blocked"] = name.text;
    }
    description["issuerData"] = vqshared::EncodeHex(cpu->ApplicationFile(CpuCardProfile::kIssuerFile).content);
    description["cardholderData"] =
        vqshared::EncodeHex(cpu->ApplicationFile(CpuCardProfile::kCardholderFile).content);
  }
  return description;
}

}  // namespace

std::string DefaultField(DefaultCard card) {
  return card == DefaultCard::kCpu ? R"({"cards": [{"kind": "cpu"}], "psam": true})"
                                   : R"({"cards": [{"kind": "mifare-one", "serial": "A1B2C3D4"}], "psam": true})";
}

void LoadField(std::string_view jsonText, VirtualReader& reader) {
  const json description = Parsed(jsonText);
  CheckObject(description, "field", {"cards", "psam", "timing"});

  std::vector<std::shared_ptr<Card>> cards;
  if (description.contains("cards")) {
    if (!description["cards"].is_array()) Refuse("cards", "an array expected");
    for (size_t i = 0; i < description["cards"].size(); ++i) {
      cards.push_back(CardFrom(description["cards"][i], "cards[" + std::to_string(i) + "]", reader.NextCardSeed()));
    }
  }
  const PsamSlot slot = description.contains("psam") ? PsamFrom(description["psam"], "psam", reader.NextCardSeed())
                                                     : DefaultPsamSlot(reader.NextCardSeed());
  const TimingProfile timing =
      description.contains("timing") ? TimingFrom(description["timing"], reader.Timing()) : reader.Timing();

  reader.ClearField();
  for (auto& card : cards) reader.InsertCard(std::move(card));
  reader.SetPsamPresent(slot.present);
  reader.WithState([&](ReaderState& state) { state.psam = slot.psam; });
  reader.SetTiming(timing);
}

namespace {

// The description of reader `index`: the whole text, or its entry of "readers".
std::string ReaderField(const std::string& text, size_t index, size_t readers, std::string& where) {
  const json description = Parsed(text);
  if (!description.is_object() || !description.contains("readers")) return text;
  CheckObject(description, "field", {"readers"});
  const json& fields = description["readers"];
  if (!fields.is_array() || fields.size() != readers) {
    Refuse("readers", "a field for each of the " + std::to_string(readers) + " readers expected");
  }
  where = "readers[" + std::to_string(index) + "].";
  return fields[index].dump(2) + "\n";
}

}  // namespace

std::string LoadFieldFile(const std::string& path, VirtualReader& reader, size_t index, size_t readers) {
  std::string why;
  const std::optional<std::string> text = vqshared::ReadWholeFile(path, why);
  if (!text) throw FieldFileError(path + ": cannot be read: " + why, FieldFileError::Kind::kUnreadable);
  std::string where;
  try {
    const std::string field = ReaderField(*text, index, readers, where);
    LoadField(field, reader);
    return field;
  } catch (const FieldFileError& error) {
    throw FieldFileError(path + ": " + where + error.what(), error.FileKind());
  }
}

std::string FieldState(std::string_view loaded, VirtualReader& reader) {
  json description = loaded.empty() ? json::object() : Parsed(loaded);
  std::vector<json> described;
  if (description.contains("cards")) described = description["cards"].get<std::vector<json>>();
  json cards = json::array();
  reader.WithState([&](ReaderState& state) {
    json& psam = description["psam"];
    if (psam.is_object()) {
      psam["present"] = state.psamPresent;
    } else {
      psam = state.psamPresent;
    }
    for (const auto& card : state.field.Cards()) {
      // The card's own description, by its serial: the field's order
      // changes when cards leave and come.
      const auto own = std::ranges::find_if(described, [&](const json& entry) {
        return !entry.is_null() && SameCard(entry, *card);
      });
      json entry = own == described.end() ? json::object() : std::exchange(*own, json());
      cards.push_back(CardState(std::move(entry), *card));
    }
  });
  description["cards"] = std::move(cards);
  return description.dump(2) + "\n";
}

void SaveFieldState(const std::string& path, std::string_view loaded, VirtualReader& reader) {
  if (!vqshared::WriteWholeFile(path, FieldState(loaded, reader))) {
    throw FieldFileError(path + ": cannot be written", FieldFileError::Kind::kUnwritable);
  }
}

}  // namespace vqsim
