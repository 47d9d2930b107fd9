#include "VqhwLib.h"
#include "vqhw/demo/lane_transactions.h"
#include "vqhw/demo/purse_steps.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr uint16_t kNothingToProve = 0x9406;

// A few activations, a little apart, as a lane polls for the card.
Outcome AwaitCard() {
  constexpr int kTries = 5;
  for (int i = 1;; ++i) {
    unsigned char record[5] = {};
    const CallResult call = Checked("opencard", opencard(record));
    if (call.Ok()) return {true, Format("back at activation %d: ", i) + CompactHex(std::span(record, 4)), 0};
    if (i == kTries) return FromCall(call, "");
  }
}

}  // namespace

// The card leaves during DEBIT (the virtual lane tears it away) and the
// lane never learns whether it paid. It waits for the card, asks it for
// the proof of the purchase by the counter INITIALIZE gave, and charges
// again only when the card has none: the money is taken exactly once.
bool TornPurchaseTransaction(LaneSteps& steps, uint32_t amount, std::string& summary) {
  steps.Report().Transaction("CPU card lane transaction: the card leaves during DEBIT");
  const auto begun = std::chrono::steady_clock::now();
  // The PSAM starts afresh in its master file, where its terminal number is.
  if (!steps.Step("reset the PSAM", [] { return FromCall(Checked("SAM_reset_h", SAM_reset_h()), "SAM_reset_h -> 0"); })) {
    return false;
  }
  PurseSteps purse(steps);
  PurseSession session;
  if (!purse.OpenPurse(session)) return steps.Abort();
  const purse::DateTime when = DateTimeBcd();
  purse::PurchaseStart start;
  Bytes mac1;
  if (!purse.BeginPurchase(amount, session, when, start, mac1)) return steps.Abort();
  const std::string debit = "805401000F" + CompactHex(purse::DebitData(mac1, when)) + "08";
  if (!steps.Step("debit for purchase: the card leaves", [&] {
        const CardReply reply = steps.Exchange(false, debit);
        if (reply.result == 0) return Failed(Format("answered SW %04X: the card did not leave", reply.sw));
        return Outcome{true, Format("-> %d (%s): did the card pay?", reply.result, LastMessage().c_str()), 0};
      })) {
    return steps.Abort();
  }
  if (!steps.Step("wait for the card to come back", [&] { return AwaitCard(); }) || !purse.SelectApplication()) {
    return steps.Abort();
  }

  CardReply proof;
  if (!steps.Step(Format("proof of purchase %u", start.offlineCounter), [&] {
        proof = steps.Exchange(false, Format("805A000602%04X08", static_cast<unsigned>(start.offlineCounter)));
        if (proof.result != 0) return FromCall(Checked("PRO_COMMAND_H", proof.result), "");
        if (proof.sw == kNothingToProve) return Outcome{true, "SW 9406: the card did not pay", 0};
        if (proof.sw != kSwOk || proof.data.size() < 8) {
          return Failed(Format("SW %04X %s", proof.sw, StatusWordText(proof.sw).c_str()));
        }
        return Outcome{true, "it paid: MAC2 " + CompactHex(std::span(proof.data).first(4)) + ", TAC " +
                                 CompactHex(std::span(proof.data).subspan(4, 4)), 0};
      })) {
    return steps.Abort();
  }
  const bool paid = proof.sw == kSwOk;
  if (!paid) {
    Bytes again;
    if (!purse.BeginPurchase(amount, session, when, start, mac1) ||
        !steps.Step("debit for purchase, again", [&] {
          return steps.Apdu(false, "805401000F" + CompactHex(purse::DebitData(mac1, when)) + "08", again, 8,
                            [](const Bytes& d) { return "MAC2 " + CompactHex(std::span(d).subspan(4, 4)); });
        })) {
      return steps.Abort();
    }
    proof.data.assign(again.begin() + 4, again.begin() + 8);
  }
  if (!purse.CheckMac2(std::span(proof.data).first(4))) return steps.Abort();
  Bytes balance;
  if (!purse.CheckBalance(start.balance - amount, balance)) return steps.Abort();
  const bool released = steps.Release();
  steps.Report().TransactionTime("the limit leaves out the library's fixed pauses and the time the card was away");
  summary = "completed: " + Money(start.balance) + " -> " + Money(purse::Number(std::span(balance).first(4))) +
            (paid ? ", the lost DEBIT proved" : ", charged again") + ", paid once" + Since(begun);
  return released;
}

}  // namespace vqtool
