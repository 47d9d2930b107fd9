#pragma once
// What the script that runs the tests has set up: which COM port leads to
// which kind of virtual reader (0: none given, the cases that need it are
// skipped), and what Wine's serial driver offers on those ports.

#include <string>

namespace wintest {

struct Setup {
  int reader = 0;         // answers everything; nothing in its field
  int noPsamReader = 0;   // answers, but its PSAM reset fails
  int silentReader = 0;   // never answers
  int retryReader = 0;    // leaves its first two commands unanswered
  int missingPort = 0;    // no device behind it
  int laneReader = 0;     // a MIFARE ONE card in its field (lane_field.json)
  int cpuCardReader = 0;  // a CPU card in its field, a contact PSAM (cpu_card_field.json)
  int networkReader = 0;  // VQHW_COM<n> names a device server (socket:// or rfc2217://) with a reader behind it
  // "yes" when the port event wait (received character, CTS, ring) works,
  // "no" when the driver refuses it; empty: not checked.
  std::string eventWait;
};

}  // namespace wintest
