#pragma once
// The one process-wide state of the library: built when the library is
// loaded, torn down when it is unloaded (closing the port, sending nothing).

#include <cstdint>

#include "api/reader_device.h"
#include "base/reader_status.h"

namespace vqhw {

struct LibraryState {
  ReaderDevice device;
  ReaderStatus lastStatus = status::kOk;  // unmapped status of the last reader export
  int32_t portNumber = 1;                 // port last opened or probed (1 = COM1)
  uint8_t currentCardSerial[5] = {};      // serial of the card last activated; a file retry's activation writes the SAK behind it
};

LibraryState& Library();

}  // namespace vqhw
