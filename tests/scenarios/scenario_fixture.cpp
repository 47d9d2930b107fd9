#include "scenarios/scenario_fixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vqtest {

std::string ScenarioVariant(const std::string& name, const std::string& from, const std::string& to) {
  std::ifstream file(ScenarioPath(name));
  std::stringstream text;
  text << file.rdbuf();
  std::string content = text.str();
  const size_t at = content.find(from);
  if (at == std::string::npos) throw std::invalid_argument(name + " has no " + from);
  return content.replace(at, from.size(), to);
}

}  // namespace vqtest
