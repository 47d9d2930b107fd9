#pragma once

#include <string>

#include "sim/hosts/line_host.h"

namespace vqsim::program {

// --log: one line on stderr per byte string on the line: the time since the
// log began, `label` (the reader's, of several), the direction, the bytes
// in hex.
LineHost::TrafficLog FrameLog(std::string label = {});

}  // namespace vqsim::program
