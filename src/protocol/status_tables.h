#pragma once
// The texts of the reader statuses (GBK) and of the card status words.

#include <cstdint>

#include "protocol/reader_status.h"

namespace vqhw {

// The message of a status, "未知的错误类型" for a value without a row of
// its own. For -27 it names the card kind that `cardKindSetting` accepts
// (0: MIFARE ONE only; otherwise MIFARE PRO). Never null.
const char* StatusMessage(ReaderStatus status, int32_t cardKindSetting);

// The English text of the status word SW1 * 256 + SW2; never null.
const char* StatusWordMessage(uint16_t statusWord);

}  // namespace vqhw
