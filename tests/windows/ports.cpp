#include "ports.h"

namespace wintest {

std::string PortName(int port) { return "\\\\.\\COM" + std::to_string(port); }

HANDLE OpenExclusive(int port) {
  return CreateFileA(PortName(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

bool PortIsFree(int port) {
  HANDLE handle = OpenExclusive(port);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace wintest
