#pragma once
// Reader tests that run a lane scenario from the example files against the
// library on a fresh virtual reader.

#include <memory>
#include <string>
#include <vector>

#include "integration/reader_fixture.h"
#include "sim/files/scenario_file.h"

namespace vqtest {

using ByteVector = std::vector<uint8_t>;

inline std::string ScenarioPath(const std::string& name) { return std::string(VQHW_SCENARIOS_DIR) + "/" + name; }

// The example file's text with `from` replaced by `to` (a variant of it).
std::string ScenarioVariant(const std::string& name, const std::string& from, const std::string& to);

// "not-done" -> "not_done", a test name.
inline std::string TestName(std::string text) {
  for (char& c : text) c = c == '-' ? '_' : c;
  return text;
}

class ScenarioTest : public ReaderTest {
 protected:
  void Load(const std::string& name) { cards = vqsim::LoadScenarioFile(ScenarioPath(name), com1->reader); }
  void LoadText(const std::string& text) { cards = vqsim::LoadScenario(text, com1->reader); }

  template <typename CardType>
  std::shared_ptr<CardType> CardNamed(const std::string& name) {
    return std::dynamic_pointer_cast<CardType>(cards.at(name));
  }

  vqsim::ScenarioCards cards;
};

}  // namespace vqtest
