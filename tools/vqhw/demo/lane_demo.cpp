#include "vqhw/demo/lane_demo.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "lane/purse_terminal.h"
#include "vqhw/demo/demo_report.h"
#include "vqhw/reader_calls.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Outcome = StepOutcome;
namespace purse = vqlane::purse;
using purse::Number;

constexpr uint16_t kOk = 0x9000;
constexpr uint16_t kNothingToProve = 0x9406;
constexpr uint8_t kEntrySector = 1;
constexpr int kEntryBlock = 4 * kEntrySector;
constexpr uint8_t kMifareOneSak = 0x08;
constexpr uint8_t kCpuCardSak = 0x20;
constexpr char kApplication[] = "A00000099901";
constexpr char kPsamApplication[] = "1001";
constexpr uint8_t kTacKeyUsage = 0x03;
constexpr uint8_t kMacOperation = 0x05;
constexpr size_t kIssuerFileSize = 30;

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Money(uint32_t amount) { return Format("%u.%02u", amount / 100, amount % 100); }

// The transaction's date (YYYYMMDD) and time (hhmmss) in BCD, local time.
purse::DateTime DateTimeBcd() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const auto bcd = [](int value) { return static_cast<uint8_t>((value / 10) << 4 | value % 10); };
  const int year = local.tm_year + 1900;
  return {{bcd(year / 100), bcd(year % 100), bcd(local.tm_mon + 1), bcd(local.tm_mday)},
          {bcd(local.tm_hour), bcd(local.tm_min), bcd(local.tm_sec)}};
}

// ", 203.4 ms in all" since `begun`.
std::string Since(Clock::time_point begun) {
  return Format(", %.1f ms in all", std::chrono::duration<double, std::milli>(Clock::now() - begun).count());
}

// A card's answer to a command APDU through the split text exports.
struct CardReply {
  int32_t result = 0;
  Bytes data;
  uint16_t sw = 0;
};

Outcome Failed(std::string text, int exitCode = ExitCodeFor(VQHW_FAILED)) {
  return {false, std::move(text), exitCode};
}

Outcome FromCall(const CallResult& call, std::string shown) {
  if (!call.Ok()) return Failed(Format("%s -> %d (%s)", call.call.c_str(), call.result, call.message.c_str()),
                                ExitCodeFor(call.result));
  return {true, std::move(shown), 0};
}

class LaneDemo {
 public:
  LaneDemo(Output& out, DemoLine& line) : report_(out), line_(line) {}

  int Run(const LaneDemoOptions& options) {
    report_.Transaction("reader");
    const bool opened = Step("open the reader", [&] {
      return FromCall(Checked("open_reader", open_reader(options.port, 0)), "COM" + std::to_string(options.port));
    });
    if (!opened) return exitCode_;
    Step("reader information", [&] {
      char info[128] = {};
      getreaderinfo(info);
      return Outcome{true, GbkToUtf8(info), 0};
    });
    const bool mifare = MifareTransaction();
    if (line_.IsVirtual()) report_.Note("\n(the MIFARE ONE card leaves the field; a CPU card comes)");
    line_.NextVehicle();
    const bool cpu = CpuTransaction(options.amount);
    bool torn = true;
    if (line_.IsVirtual()) {
      report_.Note("\n(the next vehicle's card leaves during DEBIT and comes back)");
      line_.TearNextDebit();
      torn = TornPurchase(options.amount);
    }
    close_reader();
    line_.TakeFrames();
    report_.Note("");
    report_.Summary("mifare_one", "MIFARE ONE transaction", mifare, mifareSummary_);
    report_.Summary("cpu_card", "CPU card transaction", cpu, cpuSummary_);
    if (line_.IsVirtual()) report_.Summary("torn_purchase", "Torn CPU card transaction", torn, tornSummary_);
    return exitCode_;
  }

 private:
  // Runs one step, timed, and shows it with the frames it caused.
  bool Step(const std::string& name, const std::function<Outcome()>& body) {
    const Clock::time_point start = Clock::now();
    const Outcome outcome = body();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    report_.Step(name, ms, outcome, line_.TakeFrames());
    if (!outcome.ok && exitCode_ == 0) exitCode_ = outcome.exitCode;
    return outcome.ok;
  }

  // One APDU through PRO_COMMAND_H or SAM_COMMAND_H; a PSAM in contact
  // mode answers 61 xx first, and GET RESPONSE fetches the data.
  CardReply Exchange(bool psam, const std::string& apdu) {
    CardReply reply = ExchangeOnce(psam, apdu);
    if (psam && reply.result == 0 && reply.sw >> 8 == 0x61) {
      reply = ExchangeOnce(true, Format("00C00000%02X", reply.sw & 0xFF));
    }
    return reply;
  }
  static CardReply ExchangeOnce(bool psam, const std::string& apdu) {
    char data[600] = {};
    char sw[8] = {};
    CardReply reply;
    reply.result = psam ? SAM_COMMAND_H(apdu.c_str(), data, sw) : PRO_COMMAND_H(apdu.c_str(), data, sw);
    if (reply.result != 0) return reply;
    const auto swBytes = vqshared::DecodeHex(sw);
    reply.data = vqshared::DecodeHex(data).value_or(Bytes{});
    reply.sw = swBytes && swBytes->size() == 2 ? static_cast<uint16_t>((*swBytes)[0] << 8 | (*swBytes)[1]) : 0;
    return reply;
  }

  // The exchange's outcome: `shown` of the data when the card says 90 00.
  Outcome Apdu(bool psam, const std::string& apdu, Bytes& data, size_t expected,
               const std::function<std::string(const Bytes&)>& shown) {
    const CardReply reply = Exchange(psam, apdu);
    const std::string call = psam ? "SAM_COMMAND_H" : "PRO_COMMAND_H";
    if (reply.result != 0) return FromCall(Checked(call, reply.result), "");
    if (reply.sw != kOk) return Failed(Format("SW %04X %s", reply.sw, StatusWordText(reply.sw).c_str()));
    if (reply.data.size() < expected) return Failed(Format("%zu bytes of answer, %zu expected", reply.data.size(), expected));
    data = reply.data;
    return {true, shown(data), 0};
  }

  bool Activate(uint8_t sak, const char* kind) {
    return Step("activate the card", [&] {
      unsigned char record[5] = {};
      const CallResult call = Checked("opencard", opencard(record));
      if (!call.Ok()) return FromCall(call, "");
      const std::string found = CompactHex(std::span(record, 4)) + Format(", SAK %02X", record[4]);
      if (record[4] != sak) return Failed(found + ": not a " + kind);
      return Outcome{true, found, 0};
    });
  }

  bool MifareTransaction() {
    report_.Transaction("MIFARE ONE lane transaction: the entry record");
    const Clock::time_point begun = Clock::now();
    if (!Activate(kMifareOneSak, "MIFARE ONE card")) return Abort();
    const unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (!Step(Format("authenticate sector %u with key A", kEntrySector), [&] {
          return FromCall(Checked("loadkey", loadkey(0, kEntrySector, key)), "FFFFFFFFFFFF");
        })) {
      return Abort();
    }
    std::array<unsigned char, 16> before{};
    if (!Step(Format("read the entry record (block %d)", kEntryBlock), [&] {
          return FromCall(Checked("readblock", readblock(0, kEntryBlock, before.data())), CompactHex(before));
        })) {
      return Abort();
    }
    // Station 0042, lane 07, entry, vehicle class 1, date and time.
    Bytes entry{0x00, 0x42, 0x07, 0x01, 0x01};
    const purse::DateTime when = DateTimeBcd();
    purse::Append(entry, when.date);
    purse::Append(entry, when.time);
    entry.resize(16, 0x00);
    if (!Step("write the entry record", [&] {
          return FromCall(Checked("writeblock", writeblock(0, kEntryBlock, entry.data())), CompactHex(entry));
        })) {
      return Abort();
    }
    const bool same = Step("read it back", [&] {
      std::array<unsigned char, 16> after{};
      const CallResult call = Checked("readblock", readblock(0, kEntryBlock, after.data()));
      if (call.Ok() && !std::equal(after.begin(), after.end(), entry.begin())) {
        return Failed("the card holds " + CompactHex(after));
      }
      return FromCall(call, "as written");
    });
    const bool released = Release();
    report_.TransactionTime("the limit leaves out the library's fixed 100 ms pause after the field reset");
    mifareSummary_ = "completed: entry record written and read back" + Since(begun);
    return released && same;
  }

  bool Release() {
    return Step("release the card", [] { return Outcome{true, Format("closecard -> %d", closecard()), 0}; });
  }
  // A step failed: the card is released all the same.
  bool Abort() {
    Release();
    return false;
  }

  // What a purse transaction needs from the card and the PSAM.
  struct PurseSession {
    Bytes issuer;
    purse::TerminalNumber terminal{};
  };

  // Activation, the toll application, the issuer file, the PSAM's terminal
  // number and purchase application.
  bool OpenPurse(PurseSession& session) {
    if (!Activate(kCpuCardSak, "CPU card")) return false;
    if (!SelectApplication()) return false;
    if (!Step("read the issuer file (EF 0015)", [&] {
          return Apdu(false, "00B0950000", session.issuer, kIssuerFileSize, [](const Bytes& file) {
            return "issuer " + CompactHex(std::span(file).first(8)) + ", application serial " +
                   CompactHex(std::span(file).subspan(10, 10));
          });
        })) {
      return false;
    }
    Bytes number;
    Bytes answer;
    if (!Step("read the PSAM's terminal number", [&] {
          return Apdu(true, "00B0960006", number, 6, [](const Bytes& found) { return CompactHex(found); });
        }) ||
        !Step("select the PSAM's purchase application", [&] {
          return Apdu(true, std::string("00A4000002") + kPsamApplication, answer, 0, Nothing);
        })) {
      return false;
    }
    std::copy_n(number.begin(), session.terminal.size(), session.terminal.begin());
    return true;
  }

  bool SelectApplication() {
    Bytes answer;
    return Step("select the toll application",
                [&] { return Apdu(false, std::string("00A4040006") + kApplication, answer, 0, Nothing); });
  }
  static std::string Nothing(const Bytes&) { return "9000"; }

  // INITIALIZE FOR PURCHASE and the PSAM's MAC1: what DEBIT needs.
  bool BeginPurchase(uint32_t amount, const PurseSession& session, const purse::DateTime& when,
                     purse::PurchaseStart& start, Bytes& mac1) {
    Bytes answered;
    if (!Step("initialize for purchase of " + Money(amount), [&] {
          return Apdu(false, "805001020B" + CompactHex(purse::InitializeData(amount, session.terminal)) + "0F",
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
    return Step("PSAM: MAC1", [&] {
      return Apdu(true, "8070000024" + CompactHex(purse::Mac1Data(start, amount, session.issuer, when)) + "08", mac1,
                  8, [](const Bytes& d) {
                    return Format("terminal serial %u, MAC1 ", Number(std::span(d).first(4))) +
                           CompactHex(std::span(d).subspan(4, 4));
                  });
    });
  }

  bool CheckMac2(std::span<const uint8_t> mac2) {
    Bytes answer;
    return Step("PSAM: check MAC2", [&] {
      return Apdu(true, "8072000004" + CompactHex(mac2), answer, 0,
                  [](const Bytes&) { return std::string("MAC2 right"); });
    });
  }

  // The balance must be `expected`, the money taken once.
  bool CheckBalance(uint32_t expected, Bytes& balance) {
    return Step("read the new balance", [&] {
      Outcome read = Apdu(false, "805C000204", balance, 4,
                          [](const Bytes& d) { return Money(Number(std::span(d).first(4))); });
      if (read.ok && Number(std::span(balance).first(4)) != expected) {
        return Failed(read.text + ", expected " + Money(expected));
      }
      return read;
    });
  }

  // The card leaves during DEBIT (the virtual lane tears it away) and the
  // lane never learns whether it paid. It waits for the card, asks it for
  // the proof of the purchase by the counter INITIALIZE gave, and charges
  // again only when the card has none: the money is taken exactly once.
  bool TornPurchase(uint32_t amount) {
    report_.Transaction("CPU card lane transaction: the card leaves during DEBIT");
    const Clock::time_point begun = Clock::now();
    // The PSAM starts afresh in its master file, where its terminal number is.
    if (!Step("reset the PSAM", [] { return FromCall(Checked("SAM_reset_h", SAM_reset_h()), "SAM_reset_h -> 0"); })) {
      return false;
    }
    PurseSession session;
    if (!OpenPurse(session)) return Abort();
    const purse::DateTime when = DateTimeBcd();
    purse::PurchaseStart start;
    Bytes mac1;
    if (!BeginPurchase(amount, session, when, start, mac1)) return Abort();
    const std::string debit = "805401000F" + CompactHex(purse::DebitData(mac1, when)) + "08";
    if (!Step("debit for purchase: the card leaves", [&] {
          const CardReply reply = Exchange(false, debit);
          if (reply.result == 0) return Failed(Format("answered SW %04X: the card did not leave", reply.sw));
          return Outcome{true, Format("-> %d (%s): did the card pay?", reply.result, LastMessage().c_str()), 0};
        })) {
      return Abort();
    }
    if (!Step("wait for the card to come back", [&] { return AwaitCard(); }) || !SelectApplication()) return Abort();

    CardReply proof;
    if (!Step(Format("proof of purchase %u", start.offlineCounter), [&] {
          proof = Exchange(false, Format("805A000602%04X08", static_cast<unsigned>(start.offlineCounter)));
          if (proof.result != 0) return FromCall(Checked("PRO_COMMAND_H", proof.result), "");
          if (proof.sw == kNothingToProve) return Outcome{true, "SW 9406: the card did not pay", 0};
          if (proof.sw != kOk || proof.data.size() < 8) return Failed(Format("SW %04X %s", proof.sw, StatusWordText(proof.sw).c_str()));
          return Outcome{true, "it paid: MAC2 " + CompactHex(std::span(proof.data).first(4)) + ", TAC " +
                                   CompactHex(std::span(proof.data).subspan(4, 4)), 0};
        })) {
      return Abort();
    }
    bool paid = proof.sw == kOk;
    if (!paid) {
      Bytes again;
      if (!BeginPurchase(amount, session, when, start, mac1) ||
          !Step("debit for purchase, again", [&] {
            return Apdu(false, "805401000F" + CompactHex(purse::DebitData(mac1, when)) + "08", again, 8,
                        [](const Bytes& d) { return "MAC2 " + CompactHex(std::span(d).subspan(4, 4)); });
          })) {
        return Abort();
      }
      proof.data.assign(again.begin() + 4, again.begin() + 8);
    }
    if (!CheckMac2(std::span(proof.data).first(4))) return Abort();
    Bytes balance;
    if (!CheckBalance(start.balance - amount, balance)) return Abort();
    const bool released = Release();
    report_.TransactionTime("the limit leaves out the library's fixed pauses and the time the card was away");
    tornSummary_ = "completed: " + Money(start.balance) + " -> " + Money(Number(std::span(balance).first(4))) +
                   (paid ? ", the lost DEBIT proved" : ", charged again") + ", paid once" + Since(begun);
    return released;
  }

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

  bool CpuTransaction(uint32_t amount) {
    report_.Transaction("CPU card lane transaction: the toll from the electronic purse");
    const Clock::time_point begun = Clock::now();
    PurseSession session;
    if (!OpenPurse(session)) return Abort();
    const Bytes& issuer = session.issuer;
    const purse::TerminalNumber& terminal = session.terminal;
    const purse::DateTime when = DateTimeBcd();
    purse::PurchaseStart start;
    Bytes mac1;
    if (!BeginPurchase(amount, session, when, start, mac1)) return Abort();
    Bytes proof;
    if (!Step("debit for purchase", [&] {
          return Apdu(false, "805401000F" + CompactHex(purse::DebitData(mac1, when)) + "08", proof, 8,
                      [](const Bytes& d) {
                        return "TAC " + CompactHex(std::span(d).first(4)) + ", MAC2 " +
                               CompactHex(std::span(d).subspan(4, 4));
                      });
        })) {
      return Abort();
    }
    if (!CheckMac2(std::span(proof).subspan(4, 4))) return Abort();
    const Bytes tacMessage = purse::PurchaseTacMessage(amount, Number(std::span(mac1).first(4)), when, terminal);
    if (!Step("verify the TAC with the PSAM",
              [&] { return VerifyTac(purse::DiversificationData(issuer), tacMessage, proof); })) {
      return Abort();
    }
    Bytes balance;
    if (!CheckBalance(start.balance - amount, balance)) return Abort();
    const bool released = Release();
    report_.TransactionTime("the limit leaves out the library's fixed 100 ms pause after the field reset");
    cpuSummary_ = "completed: " + Money(start.balance) + " -> " + Money(Number(std::span(balance).first(4))) +
                  ", TAC verified" + Since(begun);
    return released;
  }

  // The PSAM derives the card's TAC key and computes what the TAC should be.
  Outcome VerifyTac(const Bytes& diversification, const Bytes& message, const Bytes& proof) {
    Bytes answer;
    Outcome taken = Apdu(true, Format("801A%02X0110", kTacKeyUsage) + CompactHex(diversification), answer, 0,
                         [](const Bytes&) { return std::string(); });
    if (!taken.ok) return taken;
    Bytes tac;
    Outcome computed = Apdu(true, Format("80FA%02X00%02X", kMacOperation, static_cast<unsigned>(message.size())) +
                                      CompactHex(message),
                            tac, 4, [](const Bytes& d) { return CompactHex(std::span(d).first(4)); });
    if (!computed.ok) return computed;
    if (!std::equal(tac.begin(), tac.begin() + 4, proof.begin())) {
      return Failed("the PSAM computes TAC " + computed.text + ", the card gave " +
                    CompactHex(std::span(proof).first(4)));
    }
    return {true, "TAC " + computed.text + " is right", 0};
  }

  DemoReport report_;
  DemoLine& line_;
  int exitCode_ = 0;
  std::string mifareSummary_;
  std::string cpuSummary_;
  std::string tornSummary_;
};
}  // namespace

int RunLaneDemo(Output& out, DemoLine& line, const LaneDemoOptions& options) {
  return LaneDemo(out, line).Run(options);
}

}  // namespace vqtool
