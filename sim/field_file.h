#pragma once
// The cards in the virtual reader's field and the card in its PSAM slot,
// from a JSON description (the format: sim/examples/README.md). Belongs to
// the programs (vqhw-sim, vqhw --sim); the vqhw_sim library stays free of
// any JSON dependency.

#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/reader_model.h"

namespace vqsim {

// Says what is wrong and where, e.g. "cards[0].blocks.4: 16 bytes of hex expected".
class FieldFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces the reader's field and PSAM with the description's; its
// "timing", when there, names the profile (else the reader's own stays) and
// overrides the times of single commands. Nothing changes when the
// description is refused.
void LoadField(std::string_view jsonText, VirtualReader& reader);
void LoadFieldFile(const std::string& path, VirtualReader& reader);

}  // namespace vqsim
