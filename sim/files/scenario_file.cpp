#include "sim/files/scenario_file.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "shared/file_text.h"
#include "shared/hex_text.h"
#include "shared/json_text.h"
#include "sim/files/field_json.h"
#include "sim/lane/scenario.h"
#include "sim/lane/torn_command.h"

namespace vqsim {
namespace {

using namespace field_json;
using Cards = ScenarioCards;

uint8_t OneByte(const json& value, const std::string& where) {
  return HexBytes(value, where, 1, 1)[0];
}

int Positive(const json& value, const std::string& where) {
  const uint32_t number = Number(value, where, 1000000);
  if (number == 0) Refuse(where, "a whole number from 1 to 1000000 expected");
  return static_cast<int>(number);
}

std::chrono::milliseconds Duration(const json& value, const std::string& where) {
  return std::chrono::milliseconds(Number(value, where, 600000));
}

// "after": N, or {"count": N, "command": "80", "instruction": "54"}; "during" may add "times".
ScenarioTrigger CommandTrigger(const json& value, ScenarioTrigger::Kind kind, const std::string& where) {
  ScenarioTrigger when;
  when.kind = kind;
  if (value.is_number()) {
    when.count = Positive(value, where);
    return when;
  }
  if (kind == ScenarioTrigger::Kind::kDuring) {
    CheckObject(value, where, {"count", "command", "instruction", "times"});
  } else {
    CheckObject(value, where, {"count", "command", "instruction"});
  }
  if (value.contains("count")) when.count = Positive(value["count"], where + ".count");
  if (value.contains("times")) when.times = Positive(value["times"], where + ".times");
  if (value.contains("command")) when.filter.command = OneByte(value["command"], where + ".command");
  if (value.contains("instruction")) {
    when.filter.instruction = OneByte(value["instruction"], where + ".instruction");
  }
  return when;
}

ScenarioTrigger TriggerFrom(const json& event, const std::string& where) {
  int triggers = 0;
  ScenarioTrigger when;
  if (event.contains("at")) {
    ++triggers;
    when.kind = ScenarioTrigger::Kind::kAt;
    when.at = Duration(event["at"], where + ".at");
  }
  if (event.contains("after")) {
    ++triggers;
    when = CommandTrigger(event["after"], ScenarioTrigger::Kind::kAfter, where + ".after");
  }
  if (event.contains("during")) {
    ++triggers;
    when = CommandTrigger(event["during"], ScenarioTrigger::Kind::kDuring, where + ".during");
  }
  if (triggers != 1) Refuse(where, "one of \"at\", \"after\" or \"during\" expected");
  return when;
}

std::shared_ptr<Card> NamedCard(const json& value, const Cards& cards, const std::string& where) {
  if (value.is_string()) {
    auto it = cards.find(value.get<std::string>());
    if (it != cards.end()) return it->second;
  }
  Refuse(where, "the name of a card in \"cards\" expected");
}

Tear TearFrom(const json& value, const std::string& where) {
  const json* outcome = &value;
  Tear tear;
  if (value.is_object()) {
    CheckObject(value, where, {"outcome", "silent"});
    if (value.contains("silent")) {
      if (!value["silent"].is_boolean()) Refuse(where + ".silent", "true or false expected");
      tear.silent = value["silent"].get<bool>();
    }
    if (!value.contains("outcome")) Refuse(where, "an \"outcome\" expected");
    outcome = &value["outcome"];
  }
  const auto named = outcome->is_string() ? TearOutcomeNamed(outcome->get<std::string>()) : std::nullopt;
  if (!named) Refuse(where, "\"done\", \"not-done\" or \"corrupt\" expected");
  tear.outcome = *named;
  return tear;
}

LineFault FaultFrom(const json& value, const std::string& where) {
  CheckObject(value, where, {"silent", "late", "garbage", "wrongSequence"});
  if (value.empty()) Refuse(where, "a fault expected: silent, late, garbage or wrongSequence");
  LineFault fault;
  for (const char* flag : {"silent", "wrongSequence"}) {
    if (!value.contains(flag)) continue;
    if (!value[flag].is_boolean()) Refuse(where + "." + flag, "true or false expected");
    (std::string_view(flag) == "silent" ? fault.faults.silent : fault.faults.wrongSequence) = value[flag].get<bool>();
  }
  if (value.contains("late")) fault.faults.delay = Duration(value["late"], where + ".late");
  if (value.contains("garbage")) fault.faults.garbage = HexBytes(value["garbage"], where + ".garbage", 1, 64);
  return fault;
}

PsamChange PsamChangeFrom(const json& value, const std::string& where) {
  if (value == "present") return {PsamChange::To::kPresent};
  if (value == "locked") return {PsamChange::To::kLocked};
  if (value == "removed") return {PsamChange::To::kRemoved};
  Refuse(where, "\"present\", \"locked\" or \"removed\" expected");
}

ScenarioEvent EventFrom(const json& event, const Cards& cards, const std::string& where) {
  CheckObject(event, where, {"at", "after", "during", "enter", "leave", "tear", "fault", "powerOff", "psam"});
  ScenarioEvent result{TriggerFrom(event, where), CardEnters{}};
  int actions = 0;
  const bool during = result.when.kind == ScenarioTrigger::Kind::kDuring;
  if (event.contains("enter")) {
    ++actions;
    result.what = CardEnters{NamedCard(event["enter"], cards, where + ".enter")};
  }
  if (event.contains("leave")) {
    ++actions;
    result.what = event["leave"] == "*" ? CardLeaves{} : CardLeaves{NamedCard(event["leave"], cards, where + ".leave")};
  }
  if (event.contains("tear")) {
    ++actions;
    if (!during) Refuse(where + ".tear", "a tear happens \"during\" a command");
    result.what = TearFrom(event["tear"], where + ".tear");
  }
  if (event.contains("fault")) {
    ++actions;
    if (!during) Refuse(where + ".fault", "a line fault happens \"during\" a command");
    result.what = FaultFrom(event["fault"], where + ".fault");
  }
  if (event.contains("powerOff")) {
    ++actions;
    result.what = PowerOff{Duration(event["powerOff"], where + ".powerOff")};
  }
  if (event.contains("psam")) {
    ++actions;
    result.what = PsamChangeFrom(event["psam"], where + ".psam");
  }
  if (actions != 1) Refuse(where, "one of \"enter\", \"leave\", \"tear\", \"fault\", \"powerOff\" or \"psam\" expected");
  return result;
}

}  // namespace

ScenarioCards LoadScenario(std::string_view jsonText, VirtualReader& reader) {
  json description;
  try {
    description = vqshared::ParseJson(jsonText);
  } catch (const vqshared::JsonTextError& error) {
    throw FieldFileError(error.what());
  }
  CheckObject(description, "scenario", {"cards", "field", "psam", "timing", "events"});

  Cards cards;
  if (description.contains("cards")) {
    if (!description["cards"].is_object()) Refuse("cards", "an object of named cards expected");
    for (const auto& [name, card] : description["cards"].items()) {
      cards[name] = CardFrom(card, "cards." + name, reader.NextCardSeed());
    }
  }
  std::vector<std::shared_ptr<Card>> field;
  if (description.contains("field")) {
    if (!description["field"].is_array()) Refuse("field", "an array of card names expected");
    for (size_t i = 0; i < description["field"].size(); ++i) {
      const std::string where = "field[" + std::to_string(i) + "]";
      std::shared_ptr<Card> card = NamedCard(description["field"][i], cards, where);
      if (std::ranges::find(field, card) != field.end()) Refuse(where, "that card is in the field already");
      field.push_back(std::move(card));
    }
  }
  std::vector<ScenarioEvent> events;
  if (description.contains("events")) {
    if (!description["events"].is_array()) Refuse("events", "an array expected");
    for (size_t i = 0; i < description["events"].size(); ++i) {
      events.push_back(EventFrom(description["events"][i], cards, "events[" + std::to_string(i) + "]"));
    }
  }
  const PsamSlot slot = description.contains("psam") ? PsamFrom(description["psam"], "psam", reader.NextCardSeed())
                                                     : DefaultPsamSlot(reader.NextCardSeed());
  const TimingProfile timing =
      description.contains("timing") ? TimingFrom(description["timing"], reader.Timing()) : reader.Timing();

  reader.ClearField();
  for (auto& card : field) reader.InsertCard(std::move(card));
  reader.SetPsamPresent(slot.present);
  reader.WithState([&](ReaderState& state) { state.psam = slot.psam; });
  reader.SetTiming(timing);
  reader.SetScenario(std::make_shared<Scenario>(std::move(events)));
  return cards;
}

ScenarioCards LoadScenarioFile(const std::string& path, VirtualReader& reader) {
  std::string why;
  const std::optional<std::string> text = vqshared::ReadWholeFile(path, why);
  if (!text) throw FieldFileError(path + ": cannot be read: " + why, FieldFileError::Kind::kUnreadable);
  try {
    return LoadScenario(*text, reader);
  } catch (const FieldFileError& error) {
    throw FieldFileError(path + ": " + error.what());
  }
}

}  // namespace vqsim
