#pragma once
// The card-kind rule: which kinds of card the lane accepts (its setting,
// chosen through SelectCardType and kept while the library is loaded) and
// the kind of the card last detected. Operations that apply the rule check
// it after their command succeeded, so the card has carried out the command
// when its answer is withheld.

#include <cstdint>

#include "base/reader_status.h"

namespace vqhw {

class CardKindRule {
 public:
  static constexpr int32_t kMifareOne = 0;
  static constexpr int32_t kMifarePro = 1;  // any card that is not a MIFARE ONE
  static constexpr int32_t kBothKinds = 2;
  static constexpr int32_t kNoCardSeen = -1;

  // '0', '1' or '2' in the low byte of kindCharacter sets the setting to
  // that kind; anything else is refused with kArgument1 and changes nothing.
  ReaderStatus SetCardKind(int32_t kindCharacter) {
    const auto kind = static_cast<uint8_t>(static_cast<uint8_t>(kindCharacter) - '0');
    if (kind > kBothKinds) return status::kArgument1;
    setting_ = kind;
    return status::kOk;
  }

  // Card detection (request, select, activation) tells what it found.
  void SetDetectedCardKind(int32_t kind) { detected_ = kind; }

  int32_t CardKindSetting() const { return setting_; }
  int32_t DetectedCardKind() const { return detected_; }

  // kCardKindRefused when the card last detected is of a kind the setting
  // excludes (or none was detected and the setting names one), else 0.
  ReaderStatus CheckCardKind() const {
    return setting_ != kBothKinds && detected_ != setting_ ? status::kCardKindRefused
                                                           : status::kOk;
  }

 private:
  int32_t setting_ = kBothKinds;
  int32_t detected_ = kNoCardSeen;
};

}  // namespace vqhw
