#pragma once
// JSON text that people write (field, state and dump files): parsed, or
// refused with the line and column where the parser stopped. Header-only,
// for the programs that already use the JSON library.

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vqshared {

// "not valid JSON at line 3, column 7: syntax error while parsing ...".
class JsonTextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline nlohmann::json ParseJson(std::string_view text) {
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& error) {
    // `byte` counts from 1 and names the byte the parser stopped at.
    const size_t stop = std::min(error.byte == 0 ? 0 : error.byte - 1, text.size());
    const std::string_view before = text.substr(0, stop);
    const size_t line = static_cast<size_t>(std::ranges::count(before, '\n')) + 1;
    const size_t lineStart = before.rfind('\n');
    const size_t column = stop - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
    std::string reason = error.what();
    if (const size_t at = reason.find(": ", reason.find("column")); at != std::string::npos) {
      reason = reason.substr(at + 2);
    }
    throw JsonTextError("not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
                        ": " + reason);
  } catch (const nlohmann::json::exception& error) {
    // A number too large for any type ends the parse without a place.
    std::string reason = error.what();
    if (const size_t at = reason.find("] "); at != std::string::npos) reason = reason.substr(at + 2);
    throw JsonTextError("not valid JSON: " + reason);
  }
}

}  // namespace vqshared
