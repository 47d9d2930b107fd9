#include "sim/control/control_commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "shared/file_text.h"
#include "shared/hex_text.h"
#include "shared/json_text.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/control/field_dump.h"
#include "sim/files/field_json.h"
#include "sim/files/scenario_file.h"
#include "sim/lane/locked_psam.h"
#include "sim/lane/power_and_psam.h"
#include "sim/lane/torn_command.h"

namespace vqsim {
namespace {

using field_json::json;

constexpr const char* kBlanks = " \t\r\n";

// The text without the blanks around it.
std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

// The first word of the text, and the rest as it is (inline JSON keeps its
// blanks), trimmed.
std::pair<std::string, std::string> FirstWord(const std::string& text) {
  const std::string trimmed = Trimmed(text);
  const size_t end = trimmed.find_first_of(kBlanks);
  if (end == std::string::npos) return {trimmed, {}};
  return {trimmed.substr(0, end), Trimmed(trimmed.substr(end))};
}

std::vector<std::string> Words(const std::string& request) {
  std::istringstream in(request);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// A whole number from 0 to `max`, or none.
std::optional<int> Count(const std::string& word, int max) {
  int value = -1;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc{} || end != word.data() + word.size() || value < 0 || value > max) return std::nullopt;
  return value;
}

// The card of `serial` in `cards`, or null.
std::shared_ptr<Card> Find(const std::vector<std::shared_ptr<Card>>& cards, std::span<const uint8_t> serial) {
  const auto found = std::ranges::find_if(cards, [&](const auto& card) { return std::ranges::equal(card->Serial(), serial); });
  return found == cards.end() ? nullptr : *found;
}

std::optional<std::array<uint8_t, 4>> Serial(const std::string& word) {
  const auto bytes = vqshared::DecodeHex(word);
  if (!bytes || bytes->size() != 4) return std::nullopt;
  std::array<uint8_t, 4> serial{};
  std::ranges::copy(*bytes, serial.begin());
  return serial;
}

// A card of a serial already in the field (or set aside) would be a clone
// of it: a lane that meets two cards of one serial is a test of its own.
std::string Insert(VirtualReader& reader, std::shared_ptr<Card> card, bool clone) {
  std::string refused;
  reader.WithState([&](ReaderState& state) {
    const std::string serial = vqshared::EncodeHex(card->Serial());
    if (!clone && Find(state.field.Cards(), card->Serial())) {
      refused = "error a card " + serial + " is in the field already: present FILE clone (or present clone {JSON}) adds a second one\n";
    } else if (!clone && Find(state.aside, card->Serial())) {
      refused = "error the card " + serial + " left the field with what was written to it: enter " + serial +
                " puts it back, present FILE clone (or present clone {JSON}) adds a fresh one\n";
    } else {
      state.field.Insert(std::move(card));
    }
  });
  return refused.empty() ? "ok the card entered the field\n" : refused;
}

// A card description (it has a "kind") enters the field; a field file's
// replaces the field. `source` names it in the replies.
std::string PresentDescription(VirtualReader& reader, const std::string& text, bool clone, const std::string& source) {
  try {
    const json description = vqshared::ParseJson(text);
    if (description.is_object() && description.contains("kind")) {
      return Insert(reader, field_json::CardFrom(description, "card", reader.NextCardSeed()), clone);
    }
    LoadField(text, reader);
    return "ok the field holds the cards of " + source + "\n";
  } catch (const vqshared::JsonTextError& error) {
    return "error " + source + ": " + error.what() + "\n";
  } catch (const FieldFileError& error) {
    return "error " + source + ": " + error.what() + "\n";
  }
}

// present FILE [clone] | present [clone] {JSON}: `rest` is what follows the word present.
std::string Present(VirtualReader& reader, const std::string& rest) {
  const std::string usage = "error present FILE [clone] | present [clone] {JSON}\n";
  const auto [first, afterFirst] = FirstWord(rest);
  const bool cloneFirst = first == "clone" && afterFirst.starts_with('{');
  const std::string inlineText = cloneFirst ? afterFirst : rest;
  if (inlineText.starts_with('{')) return PresentDescription(reader, inlineText, cloneFirst, "the description");
  const std::vector<std::string> words = Words(rest);
  if (words.size() != 1 && !(words.size() == 2 && words[1] == "clone")) return usage;
  const std::string& path = words[0];
  std::string why;
  const std::optional<std::string> text = vqshared::ReadRegularFile(path, kMostControlFileBytes, why);
  if (!text) return "error " + path + ": cannot be read: " + why + "\n";
  return PresentDescription(reader, *text, words.size() == 2, path);
}

std::string Remove(VirtualReader& reader, const std::vector<std::string>& words) {
  if (words.size() == 1) {
    reader.ClearField();
    return "ok every card left\n";
  }
  const auto serial = words.size() == 2 ? Serial(words[1]) : std::nullopt;
  if (!serial) return "error remove takes a serial of 4 bytes in hex\n";
  bool found = false;
  reader.WithState([&](ReaderState& state) {
    for (const auto& card : std::vector(state.field.Cards())) {
      if (std::ranges::equal(card->Serial(), *serial)) {
        state.field.Remove(card.get());
        found = true;
      }
    }
  });
  return found ? "ok the card left\n" : "error no card " + words[1] + " in the field\n";
}

// leave SERIAL: the card goes aside with its contents; enter SERIAL: back.
std::string LeaveOrEnter(VirtualReader& reader, const std::vector<std::string>& words) {
  const bool leave = words[0] == "leave";
  const auto serial = words.size() == 2 ? Serial(words[1]) : std::nullopt;
  if (!serial) return "error " + words[0] + " takes a serial of 4 bytes in hex\n";
  std::string reply;
  reader.WithState([&](ReaderState& state) {
    if (leave) {
      const std::shared_ptr<Card> card = Find(state.field.Cards(), *serial);
      if (!card) {
        reply = "error no card " + words[1] + " in the field\n";
        return;
      }
      state.field.Remove(card.get());
      state.aside.push_back(card);
      reply = "ok the card left the field; enter " + words[1] + " puts it back\n";
      return;
    }
    const std::shared_ptr<Card> card = Find(state.aside, *serial);
    if (!card) {
      reply = "error no card " + words[1] + " left the field with leave\n";
      return;
    }
    std::erase(state.aside, card);
    state.field.Insert(card);
    reply = "ok the card entered the field again\n";
  });
  return reply;
}

// tear done|not-done|corrupt [write|debit]
std::string ArmTear(VirtualReader& reader, const std::vector<std::string>& words) {
  const auto outcome = words.size() >= 2 ? TearOutcomeNamed(words[1]) : std::nullopt;
  const auto target = words.size() == 3 ? TearTargetNamed(words[2]) : std::optional(TearTarget::kWriteOrDebit);
  if (!outcome || !target || words.size() > 3) return "error tear done|not-done|corrupt [write|debit]\n";
  reader.ArmTear(Tear{*outcome, false}, *target);
  return std::string("ok the card leaves during the next ") + TearTargetName(*target) + "\n";
}

std::string Fault(VirtualReader& reader, const std::vector<std::string>& words) {
  constexpr int kMost = 1000000;
  const std::string usage = "error fault silent N | wrong-sequence N | late MS [N] | garbage HEX [N] | clear\n";
  if (words.size() == 2 && words[1] == "clear") {
    reader.Faults().Clear();
    return "ok no faults armed\n";
  }
  if (words.size() < 3 || words.size() > 4) return usage;
  const std::string& kind = words[1];
  const std::optional<int> commands = words.size() == 4 ? Count(words[3], kMost) : std::optional(1);
  if (!commands) return usage;
  if ((kind == "silent" || kind == "wrong-sequence") && words.size() == 3) {
    const std::optional<int> n = Count(words[2], kMost);
    if (!n) return usage;
    kind == "silent" ? reader.Faults().StaySilent(*n) : reader.Faults().WrongSequence(*n);
  } else if (kind == "late") {
    const std::optional<int> ms = Count(words[2], 600000);
    if (!ms) return usage;
    reader.Faults().AnswerLate(std::chrono::milliseconds(*ms), *commands);
  } else if (kind == "garbage") {
    const auto bytes = vqshared::DecodeHex(words[2]);
    if (!bytes || bytes->empty()) return usage;
    reader.Faults().GarbageBefore(*bytes, *commands);
  } else {
    return usage;
  }
  return "ok " + kind + " armed\n";
}

// write SERIAL BLOCK HEX: one block of a MIFARE ONE card, in the field or
// aside, as the card stores it: keys and access bits are not asked.
std::string WriteBlock(VirtualReader& reader, const std::vector<std::string>& words) {
  const std::string usage = "write SERIAL BLOCK HEX: a serial of 4 bytes, a block 0 to 63, 16 bytes of hex";
  if (words.size() != 4) return "error " + usage + "\n";
  const auto serial = Serial(words[1]);
  if (!serial) return "error " + words[1] + " is no serial of 4 bytes in hex; " + usage + "\n";
  const std::optional<int> block = Count(words[2], MifareClassic::kBlocks - 1);
  if (!block) return "error no block " + words[2] + ": the blocks are 0 to 63; " + usage + "\n";
  const auto bytes = vqshared::DecodeHex(words[3]);
  if (!bytes || bytes->size() != MifareClassic::Block{}.size()) {
    return "error " + (bytes ? std::to_string(bytes->size()) + " bytes" : words[3] + " is no hex") +
           ": a block is 16 bytes, 32 hex digits; " + usage + "\n";
  }
  MifareClassic::Block data{};
  std::ranges::copy(*bytes, data.begin());
  // The manufacturer block carries the serial, which the card answers from elsewhere.
  if (*block == 0 && !std::ranges::equal(std::span(data).first(4), *serial)) {
    return "error block 0 begins with the card's serial " + words[1] + "\n";
  }
  std::string reply;
  reader.WithState([&](ReaderState& state) {
    std::shared_ptr<Card> card = Find(state.field.Cards(), *serial);
    if (!card) card = Find(state.aside, *serial);
    auto* mifare = dynamic_cast<MifareClassic*>(card.get());
    if (!card) {
      reply = "error no card " + words[1] + " in the field or aside\n";
    } else if (!mifare) {
      reply = "error the card " + words[1] + " is no MIFARE ONE card: write sets a MIFARE ONE card's blocks\n";
    } else {
      mifare->PokeBlock(*block, data);
      reply = "ok block " + std::to_string(*block) + " of " + words[1] + " written\n";
    }
  });
  return reply;
}

// power-off MS: as a scenario's powerOff event, from now.
std::string PowerOff(VirtualReader& reader, const std::vector<std::string>& words) {
  constexpr int kLongest = 600000;
  const std::optional<int> ms = words.size() == 2 ? Count(words[1], kLongest) : std::nullopt;
  if (!ms || *ms == 0) return "error power-off MS: a time of 1 to 600000 milliseconds\n";
  const auto now = std::chrono::steady_clock::now();
  reader.WithState([&](ReaderState& state) { CutPower(state, now, std::chrono::milliseconds(*ms)); });
  return "ok the reader has no power for " + words[1] + " ms\n";
}

// psam present|locked|removed: as a scenario's psam event, now.
std::string ChangePsamSlot(VirtualReader& reader, const std::vector<std::string>& words) {
  static const std::map<std::string, PsamTo, std::less<>> kChanges{
      {"present", PsamTo::kPresent}, {"locked", PsamTo::kLocked}, {"removed", PsamTo::kRemoved}};
  const auto change = words.size() == 2 ? kChanges.find(words[1]) : kChanges.end();
  if (change == kChanges.end()) return "error psam present|locked|removed\n";
  reader.WithState([&](ReaderState& state) { ChangePsam(state, change->second); });
  return "ok psam " + words[1] + "\n";
}

// scenario {JSON}: as --scenario does, from now; scenario stop.
std::string StartScenario(VirtualReader& reader, const std::string& rest) {
  if (rest == "stop") {
    reader.SetScenario(nullptr);
    return "ok no scenario runs\n";
  }
  if (!rest.starts_with('{')) {
    return "error scenario {JSON} | scenario stop (vqhw-sim ctl scenario FILE sends the file's JSON)\n";
  }
  try {
    LoadScenario(rest, reader);
  } catch (const FieldFileError& error) {
    return "error the scenario: " + std::string(error.what()) + "\n";
  }
  return "ok the scenario runs\n";
}

std::string State(VirtualReader& reader) {
  std::string text = "ok\n";
  reader.WithState([&](ReaderState& state) {
    for (const auto& card : state.field.Cards()) {
      text += "card " + vqshared::EncodeHex(card->Serial()) + (card->Sak() == 0x08 ? " mifare-one" : " cpu") +
              (state.field.Selected() == card ? " selected" : "") + "\n";
    }
    if (state.field.Cards().empty()) text += "no card in the field\n";
    for (const auto& card : state.aside) text += "card " + vqshared::EncodeHex(card->Serial()) + " aside\n";
    text += std::string("psam ") +
            (!state.psamPresent                                   ? "removed"
             : dynamic_cast<const LockedPsam*>(state.psam.get()) ? "locked"
                                                                  : "present") +
            "\n";
  });
  for (const std::string& line : reader.DescribeArmed()) text += "armed " + line + "\n";
  for (const std::string& line : reader.DescribeScenario()) text += "scenario " + line + "\n";
  return text;
}

}  // namespace

std::string RunControlRequest(const std::vector<VirtualReader*>& readers, const std::string& request) {
  const std::vector<std::string> words = Words(request);
  if (words.size() >= 2 && words[0] == "reader") {
    const std::optional<int> number = Count(words[1], static_cast<int>(readers.size()));
    if (!number || *number == 0) {
      return "error no reader " + words[1] + ": the readers are 1 to " + std::to_string(readers.size()) + "\n";
    }
    // The rest as it came: inline JSON keeps its blanks.
    return RunControlRequest(*readers[static_cast<size_t>(*number) - 1], FirstWord(FirstWord(request).second).second);
  }
  if (readers.size() != 1) {
    return "error " + std::to_string(readers.size()) + " readers: name one, as in reader 2 " +
           (words.empty() ? "state" : words[0]) + "\n";
  }
  return RunControlRequest(*readers[0], request);
}

namespace {

std::string Run(VirtualReader& reader, const std::string& request) {
  const std::vector<std::string> words = Words(request);
  if (words.empty()) return "error an empty request\n";
  static const std::set<std::string> kChangesTheField{"present", "remove",   "leave", "enter",   "fault",
                                                      "tear",    "write",    "psam",  "scenario", "power-off"};
  if (kChangesTheField.contains(words[0]) && reader.Replaying()) {
    return "error a replay answers from its record alone: " + words[0] + " cannot apply\n";
  }
  if (words[0] == "present") return Present(reader, FirstWord(request).second);
  if (words[0] == "scenario") return StartScenario(reader, FirstWord(request).second);
  if (words[0] == "write") return WriteBlock(reader, words);
  if (words[0] == "power-off") return PowerOff(reader, words);
  if (words[0] == "psam") return ChangePsamSlot(reader, words);
  if (words[0] == "remove") return Remove(reader, words);
  if (words[0] == "leave" || words[0] == "enter") return LeaveOrEnter(reader, words);
  if (words[0] == "tear") return ArmTear(reader, words);
  if (words[0] == "fault") return Fault(reader, words);
  if (words[0] == "state" && words.size() == 1) return State(reader);
  if ((words[0] == "state" && words.size() == 2 && words[1] == "--json") || (words[0] == "dump" && words.size() == 1)) {
    return "ok\n" + FieldDump(reader).dump(2) + "\n";
  }
  if (words[0] == "timing" && words.size() == 1) {
    const auto line = std::chrono::duration_cast<std::chrono::microseconds>(reader.LineTimeSoFar());
    return "ok line " + std::to_string(line.count()) + " us card " + std::to_string(reader.CardTimeSoFar().count()) +
           " us\n";
  }
  return "error unknown request; present FILE [clone] | present [clone] {JSON} | remove [SERIAL] | leave SERIAL | "
         "enter SERIAL | write SERIAL BLOCK HEX | tear OUTCOME [write|debit] | fault ... | power-off MS | "
         "psam present|locked|removed | scenario {JSON} | scenario stop | state [--json] | dump | timing\n";
}

}  // namespace

// An error is one line, whatever a description's error quotes.
std::string RunControlRequest(VirtualReader& reader, const std::string& request) {
  std::string reply = Run(reader, request);
  if (reply.starts_with("error ")) {
    reply.pop_back();
    std::ranges::replace_if(reply, [](char c) { return c == '\n' || c == '\r'; }, ' ');
    reply += '\n';
  }
  return reply;
}

}  // namespace vqsim
