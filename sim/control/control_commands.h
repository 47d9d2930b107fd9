#pragma once
// What the control socket of vqhw-sim understands, one request a line,
// each answered "ok ..." or "error ...":
//   present FILE          the card described in FILE (a field file's card
//                         object) enters the field; a field file
//                         ({"cards": [...]}) replaces the field with its cards
//   remove [SERIAL]       the card of that serial (hex) leaves; none: every card
//   fault silent N | wrong-sequence N | late MS [N] | garbage HEX [N] | clear
//                         arms a fault for the next N commands (default 1)
//   state                 the cards in the field, the PSAM slot, the scenario
//   timing                "ok line US card US": the line time of the bytes and
//                         the card time of the commands so far, in microseconds
// With several readers in the process a request names its reader first,
// by the number of its line: "reader 2 present FILE".

#include <string>
#include <vector>

#include "sim/reader/reader_model.h"

namespace vqsim {

std::string RunControlRequest(VirtualReader& reader, const std::string& request);
std::string RunControlRequest(const std::vector<VirtualReader*>& readers, const std::string& request);

}  // namespace vqsim
