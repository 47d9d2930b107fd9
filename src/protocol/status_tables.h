#pragma once
// The texts of the reader statuses (GBK, and their English meaning) and of
// the card status words.

#include <cstdint>

#include "base/reader_status.h"

namespace vqhw {

// The message of a status, "未知的错误类型" for a value without a row of
// its own. For -27 it names the card kind that `cardKindSetting` accepts
// (0: MIFARE ONE only; otherwise MIFARE PRO). Never null.
const char* StatusText(ReaderStatus status, int32_t cardKindSetting);

// What a status means, in English for people; null for a status without a
// row (one a status byte stands for, or none the library gives).
const char* StatusMeaning(ReaderStatus status);

// The English text of the status word SW1 * 256 + SW2; never null.
const char* StatusWordMessage(uint16_t statusWord);
// The same for the two bytes SW1 SW2.
const char* CardStatusWordText(const uint8_t* statusWord);

}  // namespace vqhw
