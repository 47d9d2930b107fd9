#include "protocol/reader_device.h"
#include "protocol/status_tables.h"

namespace vqhw {

const char* ReaderDevice::StatusText(ReaderStatus code) const {
  return StatusMessage(code, cardKindSetting);
}

const char* ReaderDevice::CardStatusWordText(const uint8_t* statusWord) {
  return StatusWordMessage(static_cast<uint16_t>(statusWord[0] << 8 | statusWord[1]));
}

}  // namespace vqhw
