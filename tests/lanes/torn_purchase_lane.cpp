// A lane program of the test suite that recovers a purchase whose card
// left during DEBIT FOR PURCHASE: the lane waits for the card, asks it for
// the proof of the purchase by the counter INITIALIZE gave, and pays again
// only when there is none, so the toll is taken once. Prints a line a step;
// exits 0 when the balance is the card's less one toll, 1 at the first step
// that fails. It runs against vqhw-sim's torn purchase scenario
// (sim/examples/scenarios/torn-purchase.json), under Wine too, and against
// a tear armed with `vqhw-sim ctl tear`, the card put back with `ctl enter`.
//
// Usage: vqhw_torn_purchase_lane PORT (VQHW_COM<PORT> names the reader)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "VqhwLib.h"
#include "lane/purse_terminal.h"
#include "shared/hex_text.h"

namespace {

using namespace vqlane::purse;

constexpr uint32_t kToll = 1112;
constexpr uint32_t kBalance = 10000;  // the scenario's purse
const DateTime kWhen{{0x20, 0x26, 0x12, 0x08}, {0x09, 0x30, 0x15}};
const TerminalNumber kPsamTerminal{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // the default PSAM's EF 0016

struct Reply {
  int32_t result = 0;
  Bytes data;
  std::string sw;
};

Reply Exchange(bool psam, const Bytes& apdu) {
  char data[600] = "";
  char sw[8] = "";
  const std::string text = vqshared::EncodeHex(apdu);
  Reply reply;
  reply.result = psam ? SAM_COMMAND_H(text.c_str(), data, sw) : PRO_COMMAND_H(text.c_str(), data, sw);
  if (reply.result == 0) {
    reply.data = vqshared::DecodeHex(data).value_or(Bytes{});
    reply.sw = sw;
  }
  return reply;
}

[[noreturn]] void Fail(const std::string& step, const Reply& reply) {
  std::printf("FAILED %s: result %d, SW %s\n", step.c_str(), static_cast<int>(reply.result), reply.sw.c_str());
  close_reader();
  std::exit(1);
}

Reply Expect(const std::string& step, bool psam, const Bytes& apdu) {
  const Reply reply = Exchange(psam, apdu);
  if (reply.result != 0 || reply.sw != "9000") Fail(step, reply);
  return reply;
}

// A lane polls for the card, activations a little apart, for up to 10 s.
void AwaitCard() {
  unsigned char record[5] = {};
  for (int i = 1; i <= 200; ++i) {
    if (i > 1) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (opencard(record) == 0) {
      std::printf("card back at activation %d\n", i);
      Expect("select the toll application", false, vqshared::DecodeHex("00A4040006A00000099901").value());
      return;
    }
  }
  Fail("await the card", {});
}

struct Purchase {
  uint16_t counter = 0;
  Reply debit;
};

Purchase Pay(const Bytes& issuerFile) {
  const Reply init = Expect("initialize for purchase", false, Apdu({0x80, 0x50, 0x01, 0x02}, InitializeData(kToll, kPsamTerminal), 0x0F));
  const PurchaseStart start = PurchaseStart::Parse(init.data);
  const Reply mac1 = Expect("MAC1 from the PSAM", true, Apdu({0x80, 0x70, 0x00, 0x00}, Mac1Data(start, kToll, issuerFile, kWhen), 0x08));
  return {start.offlineCounter, Exchange(false, Apdu({0x80, 0x54, 0x01, 0x00}, DebitData(mac1.data, kWhen), 0x08))};
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t port = argc > 1 ? std::atoi(argv[1]) : 1;
  if (open_reader(port, 0) != 0) Fail("open_reader", {});
  unsigned char record[5] = {};
  if (opencard(record) != 0) Fail("opencard", {});
  Expect("select the toll application", false, vqshared::DecodeHex("00A4040006A00000099901").value());
  const Bytes issuerFile = Expect("read the issuer file", false, vqshared::DecodeHex("00B0950000").value()).data;
  Expect("select the PSAM's application", true, vqshared::DecodeHex("00A40000021001").value());

  const Purchase first = Pay(issuerFile);
  if (first.debit.result == 0) Fail("debit for purchase: the card should have left", first.debit);
  std::printf("debit for purchase: %d, the card left\n", static_cast<int>(first.debit.result));
  AwaitCard();
  char prove[32];
  std::snprintf(prove, sizeof prove, "805A000602%04X08", static_cast<unsigned>(first.counter));
  const Reply proof = Exchange(false, vqshared::DecodeHex(prove).value());
  if (proof.result == 0 && proof.sw == "9000" && proof.data.size() == 8) {
    std::printf("proof of purchase %u: it paid\n", static_cast<unsigned>(first.counter));
    Expect("MAC2 to the PSAM", true, Apdu({0x80, 0x72, 0x00, 0x00}, std::span(proof.data).first(4)));
  } else if (proof.result == 0 && proof.sw == "9406") {
    std::printf("proof of purchase %u: nothing to prove, paying again\n", static_cast<unsigned>(first.counter));
    const Purchase again = Pay(issuerFile);
    if (again.debit.result != 0 || again.debit.sw != "9000") Fail("debit for purchase, again", again.debit);
  } else {
    Fail("get transaction prove", proof);
  }
  const Reply balance = Expect("get balance", false, vqshared::DecodeHex("805C000204").value());
  if (balance.data.size() != 4 || Number(balance.data) != kBalance - kToll) Fail("the toll taken once", balance);
  std::printf("balance %u: the toll taken once\n", static_cast<unsigned>(Number(balance.data)));
  close_reader();
  return 0;
}
