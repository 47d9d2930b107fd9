// Whole exports against a hostile reader: the input picks a few exports
// and then gives the reader's answer to every frame they write, through
// the in-memory port. Each answer is built from a mode byte:
//   0: a frame with the command's sequence number and a right check byte,
//      then its status byte, length and data from the input;
//   1: the same with the sequence number and check byte from the input;
//   2: raw bytes (a count, then the bytes) as the line carries them;
//   3: silence.
// Once the input is used up every frame gets a success answer without
// data. No output is ever written past its documented size, and each
// result is one a caller can be handed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "VqhwLib.h"
#include "fuzz_check.h"
#include "memory_port.h"

namespace {

constexpr uint8_t kCanary = 0xA5;
constexpr size_t kLongestData = 245;

// The answer stream of one input, read by the port's answerer.
class HostileReader {
 public:
  void Use(std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    bytes_ = bytes;
    next_ = 0;
  }

  std::vector<uint8_t> Answer(std::span<const uint8_t> written) {
    std::lock_guard lock(mutex_);
    const uint8_t sequence = written.size() > 1 ? written[1] : 0;
    if (next_ >= bytes_.size()) return Frame(sequence, 0, {});
    switch (Take() % 4) {
      case 0: {
        const uint8_t status = Take();
        return Frame(sequence, status, TakeData());
      }
      case 1: {
        const uint8_t ownSequence = Take();
        const uint8_t status = Take();
        std::vector<uint8_t> frame = Frame(ownSequence, status, TakeData());
        frame.back() = Take();
        return frame;
      }
      case 2: {
        std::vector<uint8_t> raw(Take());
        for (uint8_t& b : raw) b = Take();
        return raw;
      }
      default:
        return {};
    }
  }

 private:
  uint8_t Take() { return next_ < bytes_.size() ? bytes_[next_++] : 0; }
  std::vector<uint8_t> TakeData() {
    std::vector<uint8_t> data(Take() % (kLongestData + 1));
    for (uint8_t& b : data) b = Take();
    return data;
  }
  static std::vector<uint8_t> Frame(uint8_t sequence, uint8_t status,
                                    const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame{0xFF, sequence, status, static_cast<uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t check = 0;
    for (uint8_t b : frame) check ^= b;
    frame.push_back(check);
    return frame;
  }

  std::mutex mutex_;
  std::span<const uint8_t> bytes_;
  size_t next_ = 0;
};

HostileReader reader;

// An output buffer with canaries behind its documented largest size.
template <size_t kSize>
struct Output {
  std::array<uint8_t, kSize + 16> bytes;
  Output() { bytes.fill(kCanary); }
  uint8_t* data() { return bytes.data(); }
  char* text() { return reinterpret_cast<char*>(bytes.data()); }
  bool Intact() const {
    for (size_t i = kSize; i < bytes.size(); ++i) {
      if (bytes[i] != kCanary) return false;
    }
    return true;
  }
};

// Results an export hands a caller: 0, 1 (no card), its own codes down to
// -28, a status byte's code, or the time-out.
bool IsCallerResult(int32_t result) {
  return (result >= -28 && result <= 1) || (result >= -355 && result <= -101) || result == -1000;
}

void RunExport(uint8_t which) {
  static const unsigned char kKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int32_t result = 0;
  switch (which % 12) {
    case 0: { Output<5> out; result = opencard(out.data()); FUZZ_CHECK(out.Intact()); break; }
    case 1: { Output<11> out; result = opencard_h(out.text()); FUZZ_CHECK(out.Intact()); break; }
    case 2: { Output<16> out; result = readblock(0, 5, out.data()); FUZZ_CHECK(out.Intact()); break; }
    case 3: { Output<33> out; result = readblock_h(0, 5, out.text()); FUZZ_CHECK(out.Intact()); break; }
    case 4: { Output<48> out; result = readfile("0001", "10", 0, 48, out.data()); FUZZ_CHECK(out.Intact()); break; }
    case 5: { Output<97> out; result = readfile_h("0001", "10", 0, 48, out.text()); FUZZ_CHECK(out.Intact()); break; }
    case 6: {
      Output<2 * kLongestData + 1> data;
      Output<5> sw;
      result = SAM_COMMAND_H("0084000004", data.text(), sw.text());
      FUZZ_CHECK(data.Intact() && sw.Intact());
      break;
    }
    case 7: {
      Output<2 * kLongestData + 1> data;
      Output<5> sw;
      result = PRO_COMMAND_H("00A4000002DF01", data.text(), sw.text());
      FUZZ_CHECK(data.Intact() && sw.Intact());
      break;
    }
    case 8: { Output<2 * kLongestData + 1> out; result = sam_command_h("0084000008", out.text()); FUZZ_CHECK(out.Intact()); break; }
    case 9: { Output<2 * kLongestData + 1> out; result = pro_command_h("0084000008", out.text()); FUZZ_CHECK(out.Intact()); break; }
    case 10: result = loadkey(0, 1, kKey); break;
    default: { Output<16> block; std::memset(block.data(), 0x5A, 16); result = writeblock(0, 5, block.data()); break; }
  }
  FUZZ_CHECK(IsCallerResult(result));
}

// The reader is opened once, with cooperative answers, and stays open: the
// sequence number goes on from input to input, as in a lane.
void OpenOnce() {
  static std::once_flag opened;
  std::call_once(opened, [] {
    vqhw::memory_port::SetAnswerer(
        [](std::span<const uint8_t> written) { return reader.Answer(written); });
    reader.Use({});
    FUZZ_CHECK(open_reader(1, 0) == 0);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenOnce();
  if (size == 0) return 0;
  const size_t calls = 1 + data[0] % 4;
  if (size < 1 + calls) return 0;
  reader.Use({data + 1 + calls, size - 1 - calls});
  for (size_t i = 0; i < calls; ++i) RunExport(data[1 + i]);
  reader.Use({});
  return 0;
}
