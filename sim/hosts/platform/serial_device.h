#pragma once
// A real serial device as the reader's line (serial_device_posix.cpp).

#include <string>

#include "sim/hosts/platform/line_io.h"

namespace vqsim::io {

// Opens `path` as the reader's line: 115200 baud, 8 data bits, no parity,
// 1 stop bit, raw bytes, modem lines ignored, and held exclusively while
// open, as the library holds a port (no second user, whoever opened it
// first). Throws std::system_error naming the path.
Stream OpenSerialDevice(const std::string& path);

}  // namespace vqsim::io
