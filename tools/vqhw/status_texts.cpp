#include "vqhw/status_texts.h"

#include <cstdio>

#include "VqhwLib.h"
#include "base/reader_status.h"
#include "protocol/card_kind_rule.h"
#include "protocol/status_tables.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

// The card-kind setting of a freshly loaded library.
constexpr int32_t kFreshSetting = vqhw::CardKindRule::kBothKinds;

// A status from a reader status byte that has no row of its own.
std::string StatusByteMeaning(int32_t status) {
  char text[64];
  std::snprintf(text, sizeof text, "reader or card status byte %02X",
                static_cast<unsigned>(vqhw::StatusByteOf(status)));
  return text;
}

}  // namespace

int32_t StatusOfByte(uint8_t statusByte) { return vqhw::StatusFromByte(statusByte); }

StatusExplanation ExplainStatus(int32_t status) {
  if (status == VQHW_NO_CARD) {
    StatusExplanation noCard = ExplainStatus(-101);
    noCard.status = status;
    noCard.meaning = "the result for status -101: " + noCard.meaning;
    return noCard;
  }
  const std::string message = GbkToUtf8(vqhw::StatusText(status, kFreshSetting));
  if (const char* meaning = vqhw::StatusMeaning(status)) return {status, message, meaning};
  if (vqhw::IsStatusByteStatus(status)) return {status, message, StatusByteMeaning(status)};
  return {status, message, "not a status the library gives"};
}

std::string StatusWordText(uint16_t statusWord) { return vqhw::StatusWordMessage(statusWord); }

}  // namespace vqtool
