#pragma once
// The hex text exchanges, one row each: the channel, whether the card-kind
// rule applies, and the form of the reply text. StatusFirst gives SW1 SW2
// then the data in one text, Split the data and the SW in two, DataThenStatus
// the data then SW1 SW2. The rows keep the names of the operations they are.

#include <cstdint>

#include "apdu/reply_split.h"
#include "protocol/commands.h"

namespace vqhw::apdu {

struct HexExchange {
  uint8_t channel;
  bool appliesCardKindRule;
  TextForm form;
};

// pro_command_h, PRO_COMMAND_H, sam_command_h and SAM_COMMAND_H run the
// first, second, fourth and fifth.
inline constexpr HexExchange kProApduStatusFirstHex{command::kUserCardApdu, true, TextForm::kStatusFirst};
inline constexpr HexExchange kProApduSplitHex{command::kUserCardApdu, true, TextForm::kSplit};
inline constexpr HexExchange kProApduHex{command::kUserCardApdu, true, TextForm::kDataThenStatus};
inline constexpr HexExchange kSamApduHex{command::kPsamApdu, false, TextForm::kDataThenStatus};
inline constexpr HexExchange kSamApduSplitHex{command::kPsamApdu, true, TextForm::kSplit};
inline constexpr HexExchange kSamApduStatusFirstHex{command::kPsamApdu, false, TextForm::kStatusFirst};

}  // namespace vqhw::apdu
