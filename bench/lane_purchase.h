#pragma once
// A lane's purchase through the exports, as the benchmarks run it: the PSAM
// reset (so each run starts with its MF selected), activation, the toll
// application and issuer file, the PSAM's terminal number and purchase
// application, INITIALIZE FOR PURCHASE, the PSAM's MAC1, DEBIT, and the
// PSAM's check of MAC2.

#include <cstdint>

namespace vqbench {

// The number of exchanges it made; negative, the number so far, when one failed.
int Purchase(uint32_t amount);

}  // namespace vqbench
