#include "vqhw/demo/demo_line.h"

#include <chrono>

#include "vqhw/virtual_line.h"

namespace vqtool {

namespace {

constexpr auto kAnswerWait = std::chrono::milliseconds(300);

}  // namespace

std::unique_ptr<DemoLine> DemoLine::VirtualLane(int port) {
  std::unique_ptr<DemoLine> line(new DemoLine());
  line->reader_ = std::make_unique<vqsim::VirtualReader>();  // with its PSAM
  line->reader_->LimitHistory(1000);
  line->reader_->SetTiming(vqsim::TimingProfile::Real());  // the steps take a lane's times
  line->mifare_ = std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4});
  line->cpuCard_ = std::make_shared<vqsim::CpuCard>();
  line->reader_->InsertCard(line->mifare_);
  DemoLine* observer = line.get();
  vqsim::LineHost::Events events;
  events.traffic = [observer](vqsim::LineHost::Direction direction, std::span<const uint8_t> bytes) {
    observer->Observe(
        direction == vqsim::LineHost::Direction::kFromHost ? LineDirection::kToReader : LineDirection::kToHost,
        bytes);
  };
  line->host_ = ServeVirtualReader(*line->reader_, std::move(events), port);
  return line;
}

// The line's thread goes first: it may still report a frame.
DemoLine::~DemoLine() {
  host_.reset();
  realLine_.reset();
}

void DemoLine::Observe(LineDirection direction, std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
  for (FrameSplitter::Piece& piece : splitter.Push(bytes)) {
    if (piece.isFrame) ++(direction == LineDirection::kToReader ? commands_ : answers_);
    frames_.push_back({direction, std::move(piece.bytes), piece.isFrame});
  }
  answered_.notify_all();
}

std::vector<LineFrame> DemoLine::TakeFrames() {
  std::unique_lock lock(mutex_);
  answered_.wait_for(lock, kAnswerWait, [this] { return answers_ >= commands_; });
  commands_ = answers_ = 0;
  return std::exchange(frames_, {});
}

void DemoLine::TearNextDebit() {
  if (!reader_) return;
  vqsim::ScenarioEvent tear{{}, vqsim::Tear{}};
  tear.when.kind = vqsim::ScenarioTrigger::Kind::kDuring;
  tear.when.filter.command = 0x60;  // the APDU DEBIT FOR PURCHASE
  tear.when.filter.instruction = 0x54;
  // The transaction's own activation, then the two of the lane's first try after the tear.
  vqsim::ScenarioEvent back{{}, vqsim::CardEnters{cpuCard_}};
  back.when.kind = vqsim::ScenarioTrigger::Kind::kAfter;
  back.when.filter.command = 0x80;
  back.when.count = 3;
  reader_->SetScenario(std::make_shared<vqsim::Scenario>(std::vector{tear, back}));
}

void DemoLine::NextVehicle() {
  if (!reader_) return;
  reader_->RemoveCard(mifare_.get());
  reader_->InsertCard(cpuCard_);
}

}  // namespace vqtool
