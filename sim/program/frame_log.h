#pragma once

#include "sim/hosts/line_host.h"

namespace vqsim::program {

// --log: one line on stderr per byte string on the line: the time since the
// log began, the direction, the bytes in hex.
LineHost::TrafficLog FrameLog();

}  // namespace vqsim::program
