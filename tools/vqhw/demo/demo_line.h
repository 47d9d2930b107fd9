#pragma once
// The line the demo runs on: its own virtual lane (the virtual reader with
// its PSAM on the tool's virtual line, and the cards that pass it), or a
// real reader on a port through a relay (POSIX alone: demo_real_reader_posix.cpp).
// Either way every frame on the line is caught, so each step of the demo
// can show the frames it caused.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "sim/cards/cpu_card.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/hosts/line_host.h"
#include "sim/reader/reader_model.h"
#include "vqhw/frame_trace.h"

namespace vqtool {

struct LineFrame {
  LineDirection direction = LineDirection::kToReader;
  std::vector<uint8_t> bytes;  // a whole frame, or bytes that are none
  bool isFrame = true;
};

class DemoLine {
 public:
  // The virtual lane, reached as port `port`: a MIFARE ONE card in the
  // field first, the CPU card after NextVehicle().
  static std::unique_ptr<DemoLine> VirtualLane(int port);
  // The real reader on port `port` (its device as the tool finds it).
  // Throws std::system_error when the device cannot be opened, ToolError
  // on Windows, which has no relay.
  static std::unique_ptr<DemoLine> RealReader(int port);
  ~DemoLine();
  DemoLine(const DemoLine&) = delete;
  DemoLine& operator=(const DemoLine&) = delete;

  bool IsVirtual() const { return reader_ != nullptr; }
  // The frames since the last call. The line shows an answer just after the
  // library has it, so this waits (briefly) until every command has one.
  std::vector<LineFrame> TakeFrames();
  // On the virtual lane, the MIFARE ONE card leaves and the CPU card comes.
  void NextVehicle();
  // On the virtual lane, the CPU card leaves in the middle of the next
  // DEBIT FOR PURCHASE, which it carries out, and is back for the third
  // activation after it.
  void TearNextDebit();

 private:
  DemoLine() = default;
  void Observe(LineDirection direction, std::span<const uint8_t> bytes);

  std::mutex mutex_;
  std::condition_variable answered_;
  FrameSplitter toReader_;
  FrameSplitter toHost_;
  std::vector<LineFrame> frames_;
  size_t commands_ = 0;
  size_t answers_ = 0;

  std::shared_ptr<vqsim::MifareClassic> mifare_;
  std::shared_ptr<vqsim::CpuCard> cpuCard_;
  std::unique_ptr<vqsim::VirtualReader> reader_;
  std::unique_ptr<vqsim::LineHost> host_;
  std::shared_ptr<void> realLine_;  // what stands between the library and a real reader
};

}  // namespace vqtool
