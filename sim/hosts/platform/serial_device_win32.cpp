// A serial port on Windows (COM5, \\.\COM12): opened alone (no sharing),
// for overlapped I/O, reads returning at once with what is there.

#include "sim/hosts/platform/serial_device.h"
#include "sim/hosts/platform/win32_io.h"

namespace vqsim::io {

namespace {

// COM10 and above open only by their device path; COM1 to COM9 too.
std::string DevicePath(const std::string& name) {
  return name.starts_with("\\\\.\\") || name.starts_with("//./") ? name : "\\\\.\\" + name;
}

}  // namespace

Stream OpenSerialDevice(const std::string& path) {
  const HANDLE device = CreateFileA(DevicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) ThrowSystemError(GetLastError(), "open " + path);
  Stream stream = DeviceStream(device);  // closes the device from here on
  DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!GetCommState(device, &settings)) ThrowSystemError(GetLastError(), path + " is not a serial line");
  settings.BaudRate = CBR_115200;
  settings.ByteSize = 8;
  settings.Parity = NOPARITY;
  settings.StopBits = ONESTOPBIT;
  settings.fBinary = TRUE;
  settings.fParity = FALSE;
  // Modem lines ignored, no flow control, nothing replaced or dropped.
  settings.fOutxCtsFlow = FALSE;
  settings.fOutxDsrFlow = FALSE;
  settings.fDsrSensitivity = FALSE;
  settings.fDtrControl = DTR_CONTROL_ENABLE;
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  settings.fOutX = FALSE;
  settings.fInX = FALSE;
  settings.fErrorChar = FALSE;
  settings.fNull = FALSE;
  settings.fAbortOnError = FALSE;
  // A read returns at once with the bytes received; writes have no time-out of the driver's.
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  if (!SetCommState(device, &settings) || !SetCommTimeouts(device, &timeouts) || !SetCommMask(device, EV_RXCHAR)) {
    ThrowSystemError(GetLastError(), "set up " + path);
  }
  PurgeComm(device, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  return stream;
}

}  // namespace vqsim::io
