#pragma once
// The lane demonstration, through the exported library: what a toll lane
// does with a MIFARE ONE card (activate, authenticate the entry record
// sector, read and write the entry record) and with a CPU card (select the
// application, read the issuer file, purchase with the PSAM's MACs, check
// MAC2 and the TAC, read the new balance). Every step shows its result,
// the frames it caused in short form and the time it took.

#include <cstdint>

#include "vqhw/demo/demo_line.h"
#include "vqhw/output.h"

namespace vqtool {

struct LaneDemoOptions {
  int port = 1;
  uint32_t amount = 1250;  // the toll, in the purse's smallest unit
};

// Returns the exit code: 0 when both transactions completed.
int RunLaneDemo(Output& out, DemoLine& line, const LaneDemoOptions& options);

}  // namespace vqtool
