#pragma once

namespace vqsim {

// What the reader holds between commands: its PSAM slot (and, as more
// commands arrive, the cards in its field).
struct ReaderState {
  bool psamPresent = true;
};

}  // namespace vqsim
