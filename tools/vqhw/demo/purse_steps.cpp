#include "vqhw/demo/purse_steps.h"

#include <algorithm>

#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr uint8_t kCpuCardSak = 0x20;
constexpr char kApplication[] = "A00000099901";
constexpr char kPsamApplication[] = "1001";
constexpr uint8_t kTacKeyUsage = 0x03;
constexpr uint8_t kMacOperation = 0x05;
constexpr size_t kIssuerFileSize = 30;

std::string Nothing(const Bytes&) { return "9000"; }

}  // namespace

bool PurseSteps::OpenPurse(PurseSession& session) {
  if (!steps_.Activate(kCpuCardSak, "CPU card")) return false;
  if (!SelectApplication()) return false;
  if (!steps_.Step("read the issuer file (EF 0015)", [&] {
        return steps_.Apdu(false, "00B0950000", session.issuer, kIssuerFileSize, [](const Bytes& file) {
          return "issuer " + CompactHex(std::span(file).first(8)) + ", application serial " +
                 CompactHex(std::span(file).subspan(10, 10));
        });
      })) {
    return false;
  }
  Bytes number;
  Bytes answer;
  if (!steps_.Step("read the PSAM's terminal number", [&] {
        return steps_.Apdu(true, "00B0960006", number, 6, [](const Bytes& found) { return CompactHex(found); });
      }) ||
      !steps_.Step("select the PSAM's purchase application", [&] {
        return steps_.Apdu(true, std::string("00A4000002") + kPsamApplication, answer, 0, Nothing);
      })) {
    return false;
  }
  std::copy_n(number.begin(), session.terminal.size(), session.terminal.begin());
  return true;
}

bool PurseSteps::SelectApplication() {
  Bytes answer;
  return steps_.Step("select the toll application",
                     [&] { return steps_.Apdu(false, std::string("00A4040006") + kApplication, answer, 0, Nothing); });
}

bool PurseSteps::BeginPurchase(uint32_t amount, const PurseSession& session, const purse::DateTime& when,
                               purse::PurchaseStart& start, Bytes& mac1) {
  Bytes answered;
  if (!steps_.Step("initialize for purchase of " + Money(amount), [&] {
        return steps_.Apdu(false, "805001020B" + CompactHex(purse::InitializeData(amount, session.terminal)) + "0F",
                           answered, purse::PurchaseStart::kSize, [](const Bytes& d) {
                             const auto begun = purse::PurchaseStart::Parse(d);
                             return "balance " + Money(begun.balance) +
                                    Format(", offline counter %u, random ", begun.offlineCounter) +
                                    CompactHex(begun.random);
                           });
      })) {
    return false;
  }
  start = purse::PurchaseStart::Parse(answered);
  return steps_.Step("PSAM: MAC1", [&] {
    return steps_.Apdu(true, "8070000024" + CompactHex(purse::Mac1Data(start, amount, session.issuer, when)) + "08",
                       mac1, 8, [](const Bytes& d) {
                         return Format("terminal serial %u, MAC1 ", purse::Number(std::span(d).first(4))) +
                                CompactHex(std::span(d).subspan(4, 4));
                       });
  });
}

bool PurseSteps::CheckMac2(std::span<const uint8_t> mac2) {
  Bytes answer;
  return steps_.Step("PSAM: check MAC2", [&] {
    return steps_.Apdu(true, "8072000004" + CompactHex(mac2), answer, 0,
                       [](const Bytes&) { return std::string("MAC2 right"); });
  });
}

bool PurseSteps::CheckBalance(uint32_t expected, Bytes& balance) {
  return steps_.Step("read the new balance", [&] {
    Outcome read = steps_.Apdu(false, "805C000204", balance, 4,
                               [](const Bytes& d) { return Money(purse::Number(std::span(d).first(4))); });
    if (read.ok && purse::Number(std::span(balance).first(4)) != expected) {
      return Failed(read.text + ", expected " + Money(expected));
    }
    return read;
  });
}

Outcome PurseSteps::VerifyTac(const Bytes& diversification, const Bytes& message, const Bytes& proof) {
  Bytes answer;
  Outcome taken = steps_.Apdu(true, Format("801A%02X0110", kTacKeyUsage) + CompactHex(diversification), answer, 0,
                              [](const Bytes&) { return std::string(); });
  if (!taken.ok) return taken;
  Bytes tac;
  Outcome computed =
      steps_.Apdu(true, Format("80FA%02X00%02X", kMacOperation, static_cast<unsigned>(message.size())) +
                            CompactHex(message),
                  tac, 4, [](const Bytes& d) { return CompactHex(std::span(d).first(4)); });
  if (!computed.ok) return computed;
  if (!std::equal(tac.begin(), tac.begin() + 4, proof.begin())) {
    return Failed("the PSAM computes TAC " + computed.text + ", the card gave " + CompactHex(std::span(proof).first(4)));
  }
  return {true, "TAC " + computed.text + " is right", 0};
}

}  // namespace vqtool
