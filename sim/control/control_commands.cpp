#include "sim/control/control_commands.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "shared/hex_text.h"
#include "shared/json_text.h"
#include "sim/files/field_json.h"

namespace vqsim {
namespace {

using field_json::json;

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

std::string Present(VirtualReader& reader, const std::string& path) {
  std::ifstream file(path);
  if (!file) return "error " + path + ": cannot be read\n";
  std::stringstream text;
  text << file.rdbuf();
  try {
    const json description = vqshared::ParseJson(text.str());
    if (description.is_object() && description.contains("kind")) {
      reader.InsertCard(field_json::CardFrom(description, "card", reader.NextCardSeed()));
      return "ok the card entered the field\n";
    }
    LoadField(text.str(), reader);
    return "ok the field holds the cards of " + path + "\n";
  } catch (const vqshared::JsonTextError& error) {
    return "error " + path + ": " + error.what() + "\n";
  } catch (const FieldFileError& error) {
    return "error " + path + ": " + error.what() + "\n";
  }
}

std::string Remove(VirtualReader& reader, const std::vector<std::string>& words) {
  if (words.size() == 1) {
    reader.ClearField();
    return "ok every card left\n";
  }
  const auto serial = vqshared::DecodeHex(words[1]);
  if (words.size() != 2 || !serial || serial->size() != 4) return "error remove takes a serial of 4 bytes in hex\n";
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

std::string State(VirtualReader& reader) {
  std::string text = "ok\n";
  reader.WithState([&](ReaderState& state) {
    for (const auto& card : state.field.Cards()) {
      text += "card " + vqshared::EncodeHex(card->Serial()) + (card->Sak() == 0x08 ? " mifare-one" : " cpu") +
              (state.field.Selected() == card ? " selected" : "") + "\n";
    }
    if (state.field.Cards().empty()) text += "no card in the field\n";
    text += std::string("psam ") + (state.psamPresent ? "present" : "removed") + "\n";
  });
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
    std::string rest;
    for (size_t i = 2; i < words.size(); ++i) rest += (i > 2 ? " " : "") + words[i];
    return RunControlRequest(*readers[static_cast<size_t>(*number) - 1], rest);
  }
  if (readers.size() != 1) {
    return "error " + std::to_string(readers.size()) + " readers: name one, as in reader 2 " +
           (words.empty() ? "state" : words[0]) + "\n";
  }
  return RunControlRequest(*readers[0], request);
}

std::string RunControlRequest(VirtualReader& reader, const std::string& request) {
  const std::vector<std::string> words = Words(request);
  if (words.empty()) return "error an empty request\n";
  if (words[0] == "present" && words.size() == 2) return Present(reader, words[1]);
  if (words[0] == "remove") return Remove(reader, words);
  if (words[0] == "fault") return Fault(reader, words);
  if (words[0] == "state" && words.size() == 1) return State(reader);
  if (words[0] == "timing" && words.size() == 1) {
    const auto line = std::chrono::duration_cast<std::chrono::microseconds>(reader.LineTimeSoFar());
    return "ok line " + std::to_string(line.count()) + " us card " + std::to_string(reader.CardTimeSoFar().count()) +
           " us\n";
  }
  return "error unknown request; present FILE | remove [SERIAL] | fault ... | state | timing\n";
}

}  // namespace vqsim
