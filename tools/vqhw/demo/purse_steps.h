#pragma once
// The steps both purse transactions of the lane demo take: the toll
// application and the issuer file of the card, the PSAM's terminal number
// and purchase application, INITIALIZE FOR PURCHASE with the PSAM's MAC1,
// and the checks of MAC2, the TAC and the new balance.

#include <cstdint>
#include <span>

#include "vqhw/demo/lane_steps.h"

namespace vqtool {

// What a purse transaction needs from the card and the PSAM.
struct PurseSession {
  Bytes issuer;
  purse::TerminalNumber terminal{};
};

class PurseSteps {
 public:
  explicit PurseSteps(LaneSteps& steps) : steps_(steps) {}

  // Activation, the toll application, the issuer file, the PSAM's terminal
  // number and purchase application.
  bool OpenPurse(PurseSession& session);
  bool SelectApplication();
  // INITIALIZE FOR PURCHASE and the PSAM's MAC1: what DEBIT needs.
  bool BeginPurchase(uint32_t amount, const PurseSession& session, const purse::DateTime& when,
                     purse::PurchaseStart& start, Bytes& mac1);
  bool CheckMac2(std::span<const uint8_t> mac2);
  // The balance must be `expected`, the money taken once.
  bool CheckBalance(uint32_t expected, Bytes& balance);
  // The PSAM derives the card's TAC key and computes what the TAC should be.
  Outcome VerifyTac(const Bytes& diversification, const Bytes& message, const Bytes& proof);

 private:
  LaneSteps& steps_;
};

}  // namespace vqtool
