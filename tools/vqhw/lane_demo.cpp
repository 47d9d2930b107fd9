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
#include "vqhw/protocol_names.h"
#include "vqhw/reader_calls.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kOk = 0x9000;
constexpr uint8_t kEntrySector = 1;
constexpr int kEntryBlock = 4 * kEntrySector;
constexpr uint8_t kMifareOneSak = 0x08;
constexpr uint8_t kCpuCardSak = 0x20;
constexpr char kApplication[] = "A00000099901";
constexpr char kPsamApplication[] = "1001";
constexpr uint8_t kTacKeyUsage = 0x03;
constexpr uint8_t kMacOperation = 0x05;

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

void AppendNumber(Bytes& out, uint32_t value, size_t size) {
  for (size_t i = size; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Number(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

std::string Money(uint32_t amount) { return Format("%u.%02u", amount / 100, amount % 100); }

// The transaction's date (YYYYMMDD) and time (hhmmss) in BCD, local time.
Bytes DateTimeBcd() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const auto bcd = [](int value) { return static_cast<uint8_t>((value / 10) << 4 | value % 10); };
  const int year = local.tm_year + 1900;
  return {bcd(year / 100), bcd(year % 100), bcd(local.tm_mon + 1), bcd(local.tm_mday),
          bcd(local.tm_hour), bcd(local.tm_min), bcd(local.tm_sec)};
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

// What a step found: its result for people and the exit code of a failure.
struct Outcome {
  bool ok = true;
  std::string text;
  int exitCode = 0;
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
  LaneDemo(Output& out, DemoLine& line) : out_(out), line_(line) {}

  int Run(const LaneDemoOptions& options) {
    Transaction("reader");
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
    if (line_.IsVirtual()) out_.Text("\n(the MIFARE ONE card leaves the field; a CPU card comes)");
    line_.NextVehicle();
    const bool cpu = CpuTransaction(options.amount);
    close_reader();
    line_.TakeFrames();
    out_.Text("");
    out_.Field("mifare_one", "MIFARE ONE transaction", mifare ? "completed" : "failed",
               mifare ? mifareSummary_ : "failed");
    out_.Field("cpu_card", "CPU card transaction", cpu ? "completed" : "failed", cpu ? cpuSummary_ : "failed");
    return exitCode_;
  }

 private:
  void Transaction(std::string name) {
    transaction_ = std::move(name);
    step_ = 0;
    out_.Text("");
    out_.Text("== " + transaction_);
  }

  // Runs one step, timed, and shows it with the frames it caused.
  bool Step(const std::string& name, const std::function<Outcome()>& body) {
    const Clock::time_point start = Clock::now();
    const Outcome outcome = body();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const std::vector<LineFrame> frames = line_.TakeFrames();
    ++step_;
    nlohmann::json entry = {{"transaction", transaction_}, {"step", step_}, {"name", name},
                            {"ms", ms},                    {"ok", outcome.ok}, {"result", outcome.text}};
    entry["frames"] = nlohmann::json::array();
    std::vector<std::string> lines;
    for (const LineFrame& frame : frames) {
      const bool toReader = frame.direction == LineDirection::kToReader;
      if (!frame.isFrame || frame.bytes.size() < 5) {
        lines.push_back(Format("        %s ?? %s", toReader ? ">" : "<", CompactHex(frame.bytes).c_str()));
        continue;
      }
      const uint8_t code = frame.bytes[2];
      const std::span<const uint8_t> data(frame.bytes.begin() + 4, frame.bytes.end() - 1);
      const std::string named = toReader ? CommandName(code) : StatusByteName(code);
      entry["frames"].push_back({{"to", toReader ? "reader" : "host"}, {"code", Format("%02X", code)},
                                 {"name", named}, {"data", CompactHex(data)}});
      lines.push_back(Format("        %s %02X %-22s %s", toReader ? ">" : "<", code, named.c_str(),
                             data.empty() ? "-" : CompactHex(data).c_str()));
    }
    out_.Entry("steps", entry,
               Format("  %2d  %-38s %8.1f ms  %s%s", step_, name.c_str(), ms, outcome.ok ? "" : "FAILED: ",
                      outcome.text.c_str()));
    for (const std::string& line : lines) out_.Text(line);
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
    const auto swBytes = ParseHex(sw);
    reply.data = ParseHex(data).value_or(Bytes{});
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
    Transaction("MIFARE ONE lane transaction: the entry record");
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
    const Bytes when = DateTimeBcd();
    entry.insert(entry.end(), when.begin(), when.end());
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
    Transaction("CPU card lane transaction: the toll from the electronic purse");
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
          return Apdu(false, "00B0950000", issuer, 30, [](const Bytes& file) {
            return "issuer " + CompactHex(std::span(file).first(8)) + ", application serial " +
                   CompactHex(std::span(file).subspan(10, 10));
          });
        })) {
      return Abort();
    }
    // The card's diversification data: the serial number's last 8 bytes, the issuer.
    Bytes diversification(issuer.begin() + 12, issuer.begin() + 20);
    diversification.insert(diversification.end(), issuer.begin(), issuer.begin() + 8);
    Bytes terminal;
    if (!Step("read the PSAM's terminal number", [&] {
          return Apdu(true, "00B0960006", terminal, 6, [](const Bytes& number) { return CompactHex(number); });
        }) ||
        !Step("select the PSAM's purchase application", [&] {
          return Apdu(true, std::string("00A4000002") + kPsamApplication, answer, 0, nothing);
        })) {
      return Abort();
    }
    terminal.resize(6);

    Bytes start;
    Bytes initialize{0x01};
    AppendNumber(initialize, amount, 4);
    initialize.insert(initialize.end(), terminal.begin(), terminal.end());
    if (!Step("initialize for purchase of " + Money(amount), [&] {
          return Apdu(false, "805001020B" + CompactHex(initialize) + "0F", start, 15, [](const Bytes& d) {
            return "balance " + Money(Number(std::span(d).first(4))) +
                   Format(", offline counter %u, random ", Number(std::span(d).subspan(4, 2))) +
                   CompactHex(std::span(d).subspan(11, 4));
          });
        })) {
      return Abort();
    }
    const uint32_t before = Number(std::span(start).first(4));
    const Bytes when = DateTimeBcd();
    Bytes mac1Data(start.begin() + 11, start.begin() + 15);         // card random
    mac1Data.insert(mac1Data.end(), start.begin() + 4, start.begin() + 6);  // offline counter
    AppendNumber(mac1Data, amount, 4);
    mac1Data.push_back(0x06);  // a purchase
    mac1Data.insert(mac1Data.end(), when.begin(), when.end());
    mac1Data.insert(mac1Data.end(), start.begin() + 9, start.begin() + 11);  // key version, algorithm
    mac1Data.insert(mac1Data.end(), diversification.begin(), diversification.end());
    Bytes mac1;
    if (!Step("PSAM: MAC1", [&] {
          return Apdu(true, "8070000024" + CompactHex(mac1Data) + "08", mac1, 8, [](const Bytes& d) {
            return Format("terminal serial %u, MAC1 ", Number(std::span(d).first(4))) +
                   CompactHex(std::span(d).subspan(4, 4));
          });
        })) {
      return Abort();
    }
    Bytes debit(mac1.begin(), mac1.begin() + 4);
    debit.insert(debit.end(), when.begin(), when.end());
    debit.insert(debit.end(), mac1.begin() + 4, mac1.begin() + 8);
    Bytes proof;
    if (!Step("debit for purchase", [&] {
          return Apdu(false, "805401000F" + CompactHex(debit) + "08", proof, 8, [](const Bytes& d) {
            return "TAC " + CompactHex(std::span(d).first(4)) + ", MAC2 " + CompactHex(std::span(d).subspan(4, 4));
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
    if (!Step("verify the TAC with the PSAM", [&] { return VerifyTac(amount, terminal, mac1, when, diversification, proof); })) {
      return Abort();
    }
    Bytes balance;
    if (!Step("read the new balance", [&] {
          Outcome read = Apdu(false, "805C000204", balance, 4,
                              [](const Bytes& d) { return Money(Number(std::span(d).first(4))); });
          if (read.ok && Number(std::span(balance).first(4)) != before - amount) {
            return Failed(read.text + ", expected " + Money(before - amount));
          }
          return read;
        })) {
      return Abort();
    }
    const bool released = Release();
    cpuSummary_ = "completed: " + Money(before) + " -> " + Money(Number(std::span(balance).first(4))) +
                  ", TAC verified" + Since(begun);
    return released;
  }

  // The PSAM derives the card's TAC key and computes what the TAC should be.
  Outcome VerifyTac(uint32_t amount, const Bytes& terminal, const Bytes& mac1, const Bytes& when,
                    const Bytes& diversification, const Bytes& proof) {
    Bytes answer;
    Outcome taken = Apdu(true, Format("801A%02X0110", kTacKeyUsage) + CompactHex(diversification), answer, 0,
                         [](const Bytes&) { return std::string(); });
    if (!taken.ok) return taken;
    Bytes message;
    AppendNumber(message, amount, 4);
    message.push_back(0x06);
    message.insert(message.end(), terminal.begin(), terminal.end());
    message.insert(message.end(), mac1.begin(), mac1.begin() + 4);  // terminal serial
    message.insert(message.end(), when.begin(), when.end());
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

  Output& out_;
  DemoLine& line_;
  std::string transaction_;
  int step_ = 0;
  int exitCode_ = 0;
  std::string mifareSummary_;
  std::string cpuSummary_;
};

}  // namespace

int RunLaneDemo(Output& out, DemoLine& line, const LaneDemoOptions& options) {
  return LaneDemo(out, line).Run(options);
}

}  // namespace vqtool
