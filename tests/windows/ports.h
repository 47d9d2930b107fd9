#pragma once
// The COM ports that the script mapped to virtual readers, seen directly.

#include <windows.h>

#include <string>

namespace wintest {

// \\.\COM<n>
std::string PortName(int port);

// Opens the port the way the library does; INVALID_HANDLE_VALUE when it is
// held or missing.
HANDLE OpenExclusive(int port);

// Nobody holds the port: it can be opened exclusively.
bool PortIsFree(int port);

}  // namespace wintest
