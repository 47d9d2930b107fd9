#include <algorithm>
#include <array>

#include "VqhwLib.h"
#include "vqhw/demo/lane_transactions.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr uint8_t kEntrySector = 1;
constexpr int kEntryBlock = 4 * kEntrySector;
constexpr uint8_t kMifareOneSak = 0x08;

}  // namespace

bool EntryRecordTransaction(LaneSteps& steps, std::string& summary) {
  steps.Report().Transaction("MIFARE ONE lane transaction: the entry record");
  const auto begun = std::chrono::steady_clock::now();
  if (!steps.Activate(kMifareOneSak, "MIFARE ONE card")) return steps.Abort();
  const unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  if (!steps.Step(Format("authenticate sector %u with key A", kEntrySector), [&] {
        return FromCall(Checked("loadkey", loadkey(0, kEntrySector, key)), "FFFFFFFFFFFF");
      })) {
    return steps.Abort();
  }
  std::array<unsigned char, 16> before{};
  if (!steps.Step(Format("read the entry record (block %d)", kEntryBlock), [&] {
        return FromCall(Checked("readblock", readblock(0, kEntryBlock, before.data())), CompactHex(before));
      })) {
    return steps.Abort();
  }
  // Station 0042, lane 07, entry, vehicle class 1, date and time.
  Bytes entry{0x00, 0x42, 0x07, 0x01, 0x01};
  const purse::DateTime when = DateTimeBcd();
  purse::Append(entry, when.date);
  purse::Append(entry, when.time);
  entry.resize(16, 0x00);
  if (!steps.Step("write the entry record", [&] {
        return FromCall(Checked("writeblock", writeblock(0, kEntryBlock, entry.data())), CompactHex(entry));
      })) {
    return steps.Abort();
  }
  const bool same = steps.Step("read it back", [&] {
    std::array<unsigned char, 16> after{};
    const CallResult call = Checked("readblock", readblock(0, kEntryBlock, after.data()));
    if (call.Ok() && !std::equal(after.begin(), after.end(), entry.begin())) {
      return Failed("the card holds " + CompactHex(after));
    }
    return FromCall(call, "as written");
  });
  const bool released = steps.Release();
  steps.Report().TransactionTime("the limit leaves out the library's fixed 100 ms pause after the field reset");
  summary = "completed: entry record written and read back" + Since(begun);
  return released && same;
}

}  // namespace vqtool
