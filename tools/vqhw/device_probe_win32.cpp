#include <windows.h>

#include <string>

#include "vqhw/device_probe.h"

namespace vqtool {

namespace {

std::string SystemMessage(DWORD code) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return (message.empty() ? "error" : message) + " (" + std::to_string(code) + ")";
}

}  // namespace

std::string WhyDeviceCannotOpen(const std::string& path) {
  // Opened as the library opens it, and closed at once: no byte is sent.
  const std::string name = "\\\\.\\" + path;
  const HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
      return "held by another program (" + SystemMessage(code) + ")";
    }
    return SystemMessage(code);
  }
  DCB settings{};
  settings.DCBlength = sizeof settings;
  const bool serial = GetCommState(port, &settings) != 0;
  CloseHandle(port);
  return serial ? std::string() : "not a serial port";
}

}  // namespace vqtool
