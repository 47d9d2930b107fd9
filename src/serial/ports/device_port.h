#pragma once
// The platform's serial device as a port: termios and poll() on POSIX
// (device_port_posix.cpp), overlapped I/O on Windows (device_port_win32.cpp).

#include <memory>

#include "serial/port.h"

namespace vqhw {

// Opens the device `name` exclusively and applies the settings; the
// results of OpenPort.
ReaderStatus OpenDevicePort(const char* name, const LineSettings& settings, std::unique_ptr<Port>& port);

}  // namespace vqhw
