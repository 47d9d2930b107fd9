#include <signal.h>

#include "sim/program/stop_signals.h"

namespace vqsim::program {

namespace {

io::Event* stopEvent = nullptr;

// Writing a byte into the event's pipe is all a signal handler may do here.
void OnStopSignal(int) { stopEvent->Set(); }

}  // namespace

void StopOnRequest(io::Event& stop) {
  stopEvent = &stop;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace vqsim::program
