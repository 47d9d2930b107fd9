#pragma once
// What a person can try after a failed status, where something helps.

#include <cstdint>
#include <string>

namespace vqtool {

// The hint for the status, or an empty text.
std::string HintFor(int32_t status);

}  // namespace vqtool
