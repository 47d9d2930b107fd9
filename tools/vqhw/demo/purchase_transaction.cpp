#include "vqhw/demo/lane_transactions.h"
#include "vqhw/demo/purse_steps.h"
#include "vqhw/text.h"

namespace vqtool {

bool PurchaseTransaction(LaneSteps& steps, uint32_t amount, std::string& summary) {
  steps.Report().Transaction("CPU card lane transaction: the toll from the electronic purse");
  const auto begun = std::chrono::steady_clock::now();
  PurseSteps purse(steps);
  PurseSession session;
  if (!purse.OpenPurse(session)) return steps.Abort();
  const purse::DateTime when = DateTimeBcd();
  purse::PurchaseStart start;
  Bytes mac1;
  if (!purse.BeginPurchase(amount, session, when, start, mac1)) return steps.Abort();
  Bytes proof;
  if (!steps.Step("debit for purchase", [&] {
        return steps.Apdu(false, "805401000F" + CompactHex(purse::DebitData(mac1, when)) + "08", proof, 8,
                          [](const Bytes& d) {
                            return "TAC " + CompactHex(std::span(d).first(4)) + ", MAC2 " +
                                   CompactHex(std::span(d).subspan(4, 4));
                          });
      })) {
    return steps.Abort();
  }
  if (!purse.CheckMac2(std::span(proof).subspan(4, 4))) return steps.Abort();
  const Bytes tacMessage =
      purse::PurchaseTacMessage(amount, purse::Number(std::span(mac1).first(4)), when, session.terminal);
  if (!steps.Step("verify the TAC with the PSAM", [&] {
        return purse.VerifyTac(purse::DiversificationData(session.issuer), tacMessage, proof);
      })) {
    return steps.Abort();
  }
  Bytes balance;
  if (!purse.CheckBalance(start.balance - amount, balance)) return steps.Abort();
  const bool released = steps.Release();
  steps.Report().TransactionTime("the limit leaves out the library's fixed 100 ms pause after the field reset");
  summary = "completed: " + Money(start.balance) + " -> " + Money(purse::Number(std::span(balance).first(4))) +
            ", TAC verified" + Since(begun);
  return released;
}

}  // namespace vqtool
