#pragma once
// The requests to stop that come from outside the program (SIGINT and
// SIGTERM on POSIX), turned into the one event it stops on; everything
// inside it that ends the run (a line lost, a replay that differs) sets
// the same event.

#include "sim/hosts/platform/line_io.h"

namespace vqsim::program {

// From now on a stop request sets `stop` (which outlives the program's
// run); a peer that hangs up never stops the program by a signal.
void StopOnRequest(io::Event& stop);

}  // namespace vqsim::program
