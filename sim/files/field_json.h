#pragma once
// The parts of a field description that a scenario file shares with the
// field file: cards, the PSAM slot, the timing, and the checks that name the
// place of what is wrong (throwing FieldFileError).

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cards/card.h"
#include "sim/files/field_file.h"
#include "sim/cards/psam.h"
#include "sim/lane/timing_profile.h"

namespace vqsim::field_json {

using nlohmann::json;

[[noreturn]] void Refuse(const std::string& where, const std::string& what);
// An object with none but the known keys: a misspelt key is an error, not a default.
void CheckObject(const json& value, const std::string& where, std::initializer_list<std::string_view> known);
// Hex digits in pairs, blanks between pairs allowed; minSize..maxSize bytes.
std::vector<uint8_t> HexBytes(const json& value, const std::string& where, size_t minSize, size_t maxSize);
uint32_t Number(const json& value, const std::string& where, uint32_t max);

// What a card holds now, in the field file's keys: a MIFARE ONE card's 64
// blocks; a CPU card's balance, purchase and load counters and transaction
// records (newest first). The state file and `dump` both show it.
json CardContents(const Card& card);

// A card of the description; `randomSeed` starts its randoms unless the
// description names its own (none: fresh ones).
std::shared_ptr<Card> CardFrom(const json& description, const std::string& where,
                               std::optional<uint32_t> randomSeed);

struct PsamSlot {
  bool present = true;
  std::shared_ptr<Psam> psam;
};
// `true`, `false` or a PSAM object; `randomSeed` as for CardFrom.
PsamSlot PsamFrom(const json& description, const std::string& where, std::optional<uint32_t> randomSeed);
// The slot of a description that names no PSAM: a default one in it.
PsamSlot DefaultPsamSlot(std::optional<uint32_t> randomSeed);

TimingProfile TimingFrom(const json& description, TimingProfile profile);

}  // namespace vqsim::field_json
