#pragma once
// What the control socket of vqhw-sim understands, one request a line,
// each answered "ok ..." or "error ...":
//   present FILE [clone]  the card described in FILE (a field file's card
//                         object) enters the field, refused when a card of its
//                         serial is there or aside, unless a clone is asked
//                         for; a field file ({"cards": [...]}) replaces the
//                         field with its cards
//   remove [SERIAL]       the card of that serial (hex) leaves; none: every card
//   leave SERIAL          the card leaves and is kept aside with its contents
//   enter SERIAL          the card kept aside enters the field again
//   tear done|not-done|corrupt [write|debit]
//                         the card leaves during the next command that writes
//                         to it or debits its purse (or either, the default)
//   fault silent N | wrong-sequence N | late MS [N] | garbage HEX [N] | clear
//                         arms a fault for the next N commands (default 1)
//   state                 the cards in the field and aside, the PSAM slot,
//                         the armed faults and tear, the scenario
//   dump, state --json    all of that as JSON, with each card's contents
//                         (field_dump.h)
//   timing                "ok line US card US": the line time of the bytes and
//                         the card time of the commands so far, in microseconds
// With several readers in the process a request names its reader first,
// by the number of its line: "reader 2 present FILE". During a replay the
// requests that would change the field or the line are refused.

#include <string>
#include <vector>

#include "sim/reader/reader_model.h"

namespace vqsim {

std::string RunControlRequest(VirtualReader& reader, const std::string& request);
std::string RunControlRequest(const std::vector<VirtualReader*>& readers, const std::string& request);

}  // namespace vqsim
