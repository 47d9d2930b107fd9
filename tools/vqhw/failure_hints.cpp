#include "vqhw/failure_hints.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vqtool {

namespace {

constexpr std::array<std::pair<int32_t, const char*>, 9> kHints{{
    {-12, "name the device with --device PATH, or the port with --port N"},
    {-23, "check the cable, the reader's power and the port number"},
    {-26, "put a PSAM in the reader's slot"},
    {-101, "hold a card on the reader's antenna"},
    {-103, "try another key with -k (repeat -k to try several), or key B with -b"},
    {-108, "authenticate the sector first: give its key with -k"},
    {-113, "leave one card in the field"},
    {-115, "the access bits forbid it with this key; `vqhw trailer SECTOR` shows which key may"},
    {-1000, "no answer after three attempts: check the cable and the reader's power"},
}};

}  // namespace

std::string HintFor(int32_t status) {
  const auto* row = std::ranges::find(kHints, status, &std::pair<int32_t, const char*>::first);
  return row == kHints.end() ? std::string() : row->second;
}

}  // namespace vqtool
