#pragma once
// A session record as a timeline: each exchange, a command and the answer
// to it, with its times split into the wire's, the card's and the host's,
// failures and retries marked. Times in ms from the record's start.

#include <string_view>

#include <nlohmann/json.hpp>

namespace vqsim::panel {

// {"exchanges": [...], "noise": N} (sim/panel/README.md). Throws
// SessionRecordError naming the line of what is wrong.
nlohmann::json Timeline(std::string_view record);

}  // namespace vqsim::panel
