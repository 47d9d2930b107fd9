#pragma once
// What `ctl dump` (and `state --json`) answers: the reader's end state as
// JSON. Each card, in the field or set aside, with its kind, serial and
// place; a MIFARE ONE card's 64 blocks and the sector it is authenticated
// for; a CPU card's purse balance, its purchase and load counters and its
// transaction records (newest first); the PSAM slot ("present", "locked",
// "removed"); every armed fault and tear; the scenario's events.

#include <nlohmann/json.hpp>

#include "sim/reader/reader_model.h"

namespace vqsim {

nlohmann::json FieldDump(VirtualReader& reader);

}  // namespace vqsim
