#pragma once
// What the control socket of vqhw-sim understands, one request a line,
// each answered "ok ..." or "error ...":
//   present FILE [clone]  the card described in FILE (a field file's card
//                         object) enters the field, refused when a card of its
//                         serial is there or aside, unless a clone is asked
//                         for; a field file ({"cards": [...]}) replaces the
//                         field with its cards. FILE, as the reader's process
//                         sees it, must be a regular file of at most 1 MiB
//   present [clone] {JSON} the same from the JSON inline, the rest of the line
//                         (what `vqhw-sim ctl present FILE` sends)
//   remove [SERIAL]       the card of that serial (hex) leaves; none: every card
//   leave SERIAL          the card leaves and is kept aside with its contents
//   enter SERIAL          the card kept aside enters the field again
//   write SERIAL BLOCK HEX
//                         block 0 to 63 of the MIFARE ONE card of that serial,
//                         in the field or aside, holds the 16 bytes of HEX,
//                         keys and access bits unasked (block 0 keeps the serial)
//   tear done|not-done|corrupt [write|debit]
//                         the card leaves during the next command that writes
//                         to it or debits its purse (or either, the default)
//   fault silent N | wrong-sequence N | late MS [N] | garbage HEX [N] | clear
//                         arms a fault for the next N commands (default 1)
//   power-off MS          the reader has no power from now for MS ms (1 to
//                         600000), as a scenario's powerOff event: no command
//                         answered, then the reader comes back reset (PowerUp)
//   psam present|locked|removed
//                         as a scenario's psam event, now: locked answers every
//                         PSAM command 93 03; present puts the PSAM back unlocked
//   scenario {JSON}       the scenario (a scenario file's JSON, inline) runs
//                         from now instead of the one running, and names its
//                         start as --scenario does: its field (none when it
//                         names none), its PSAM or a fresh one, its timing;
//                         cards aside stay aside. A power cut or a PSAM lock
//                         already made stays.
//   scenario stop         no scenario runs; the field stays as it is
//   state                 the cards in the field and aside, the PSAM slot,
//                         the armed faults and tear, a power cut that stands
//                         ("armed power off, back in N ms"), the scenario
//   dump, state --json    all of that as JSON, with each card's contents
//                         (field_dump.h)
//   timing                "ok line US card US": the line time of the bytes and
//                         the card time of the commands so far, in microseconds
// With several readers in the process a request names its reader first,
// by the number of its line: "reader 2 present FILE". During a replay the
// requests that would change the field or the line are refused.

#include <cstddef>
#include <string>
#include <vector>

#include "sim/reader/reader_model.h"

namespace vqsim {

// The longest file `present FILE` (or `vqhw-sim ctl present|scenario FILE`) reads.
inline constexpr size_t kMostControlFileBytes = size_t{1} << 20;

std::string RunControlRequest(VirtualReader& reader, const std::string& request);
std::string RunControlRequest(const std::vector<VirtualReader*>& readers, const std::string& request);

}  // namespace vqsim
