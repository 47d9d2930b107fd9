#include "vqhw/lane_demo.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "shared/purse_terminal.h"
#include "vqhw/demo_report.h"
#include "vqhw/reader_calls.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Outcome = StepOutcome;
namespace purse = vqshared::purse;
using purse::Number;

constexpr uint16_t kOk = 0x9000;
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
    close_reader();
    line_.TakeFrames();
    report_.Note("");
    report_.Summary("mifare_one", "MIFARE ONE transaction", mifare, mifareSummary_);
    report_.Summary("cpu_card", "CPU card transaction", cpu, cpuSummary_);
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

  bool CpuTransaction(uint32_t amount) {
    report_.Transaction("CPU card lane transaction: the toll from the electronic purse");
    const Clock::time_point begun = Clock::now();
    if (!Activate(kCpuCardSak, "CPU card")) return Abort();
    Bytes answer;
    const auto nothing = [](const Bytes&) { return std::string("9000"); };
    if (!Step("select the toll application", [&] {
          return Apdu(false, std::string("00A4040006") + kApplication, answer, 0, nothing);
        })) {
      return Abort();
    }
    Bytes issuer;
    if (!Step("read the issuer file (EF 0015)", [&] {
          return Apdu(false, "00B0950000", issuer, kIssuerFileSize, [](const Bytes& file) {
            return "issuer " + CompactHex(std::span(file).first(8)) + ", application serial " +
                   CompactHex(std::span(file).subspan(10, 10));
          });
        })) {
      return Abort();
    }
    Bytes number;
    if (!Step("read the PSAM's terminal number", [&] {
          return Apdu(true, "00B0960006", number, 6, [](const Bytes& found) { return CompactHex(found); });
        }) ||
        !Step("select the PSAM's purchase application", [&] {
          return Apdu(true, std::string("00A4000002") + kPsamApplication, answer, 0, nothing);
        })) {
      return Abort();
    }
    purse::TerminalNumber terminal{};
    std::copy_n(number.begin(), terminal.size(), terminal.begin());

    Bytes answered;
    if (!Step("initialize for purchase of " + Money(amount), [&] {
          return Apdu(false, "805001020B" + CompactHex(purse::InitializeData(amount, terminal)) + "0F", answered,
                      purse::PurchaseStart::kSize, [](const Bytes& d) {
                        const auto start = purse::PurchaseStart::Parse(d);
                        return "balance " + Money(start.balance) +
                               Format(", offline counter %u, random ", start.offlineCounter) +
                               CompactHex(start.random);
                      });
        })) {
      return Abort();
    }
    const purse::PurchaseStart start = purse::PurchaseStart::Parse(answered);
    const purse::DateTime when = DateTimeBcd();
    Bytes mac1;
    if (!Step("PSAM: MAC1", [&] {
          return Apdu(true, "8070000024" + CompactHex(purse::Mac1Data(start, amount, issuer, when)) + "08", mac1, 8,
                      [](const Bytes& d) {
                        return Format("terminal serial %u, MAC1 ", Number(std::span(d).first(4))) +
                               CompactHex(std::span(d).subspan(4, 4));
                      });
        })) {
      return Abort();
    }
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
    if (!Step("PSAM: check MAC2", [&] {
          return Apdu(true, "8072000004" + CompactHex(std::span(proof).subspan(4, 4)), answer, 0,
                      [](const Bytes&) { return std::string("MAC2 right"); });
        })) {
      return Abort();
    }
    const Bytes tacMessage = purse::PurchaseTacMessage(amount, Number(std::span(mac1).first(4)), when, terminal);
    if (!Step("verify the TAC with the PSAM",
              [&] { return VerifyTac(purse::DiversificationData(issuer), tacMessage, proof); })) {
      return Abort();
    }
    Bytes balance;
    if (!Step("read the new balance", [&] {
          Outcome read = Apdu(false, "805C000204", balance, 4,
                              [](const Bytes& d) { return Money(Number(std::span(d).first(4))); });
          if (read.ok && Number(std::span(balance).first(4)) != start.balance - amount) {
            return Failed(read.text + ", expected " + Money(start.balance - amount));
          }
          return read;
        })) {
      return Abort();
    }
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
};
}  // namespace

int RunLaneDemo(Output& out, DemoLine& line, const LaneDemoOptions& options) {
  return LaneDemo(out, line).Run(options);
}

}  // namespace vqtool
