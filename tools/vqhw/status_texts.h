#pragma once
// What the codes mean: the library's message of every reader status (as
// getvqicerror gives it, here in UTF-8) with an English explanation, and
// the English texts of the card status words SW1 SW2. No export gives the
// text of an arbitrary code, so the tool compiles the library's own status
// table (src/protocol/status_tables.cpp, which depends on nothing else).

#include <cstdint>
#include <string>

namespace vqtool {

struct StatusExplanation {
  int32_t status;
  std::string message;  // the library's text, UTF-8
  std::string meaning;  // English, for people
};

// Any status (0, -1..-1000, or the result 1, which stands for -101).
StatusExplanation ExplainStatus(int32_t status);
// The status that a reader status byte (non-zero) stands for: byte - 356.
int32_t StatusOfByte(uint8_t statusByte);

// The English text of a card's status word, as the library knows it.
std::string StatusWordText(uint16_t statusWord);

}  // namespace vqtool
