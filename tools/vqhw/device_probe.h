#pragma once
// Why a serial device cannot be opened, in the system's words. The library
// only says that the port cannot be opened; after that the tool looks at the
// device itself. One file per platform does the looking.

#include <string>

namespace vqtool {

// "No such file or directory", "not a serial port (not a terminal)",
// "held by another program", ...; empty when the device opens and seems fine.
std::string WhyDeviceCannotOpen(const std::string& path);

}  // namespace vqtool
