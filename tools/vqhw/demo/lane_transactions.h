#pragma once
// The lane demo's transactions, each a run of steps: true when it
// completed; `summary` says how it ended.

#include <cstdint>
#include <string>

#include "vqhw/demo/lane_steps.h"

namespace vqtool {

// A MIFARE ONE card: activate, authenticate the entry record sector, read
// the entry record, write it and read it back.
bool EntryRecordTransaction(LaneSteps& steps, std::string& summary);
// A CPU card: the toll from its electronic purse with the PSAM's MACs, MAC2
// and the TAC checked, and the new balance read.
bool PurchaseTransaction(LaneSteps& steps, uint32_t amount, std::string& summary);
// The virtual lane tears the card away during DEBIT; the lane proves or
// repeats the purchase so that the money is taken exactly once.
bool TornPurchaseTransaction(LaneSteps& steps, uint32_t amount, std::string& summary);

}  // namespace vqtool
