// On Windows a console's Ctrl+C, Ctrl+Break and closing window, and the
// system's logoff and shutdown, are the stop requests.

#include <windows.h>

#include "sim/program/stop_signals.h"

namespace vqsim::program {

namespace {

io::Event* stopEvent = nullptr;

// Runs on a thread of its own, which the system starts for the request.
BOOL WINAPI OnStopRequest(DWORD) {
  stopEvent->Set();
  return TRUE;
}

}  // namespace

void StopOnRequest(io::Event& stop) {
  stopEvent = &stop;
  SetConsoleCtrlHandler(OnStopRequest, TRUE);
}

}  // namespace vqsim::program
