#include "sim/reader/reader_model.h"

#include <algorithm>

#include "sim/commands/command_table.h"
#include "sim/protocol/frame_layout.h"
#include "sim/cards/psam.h"
#include "sim/protocol/status_bytes.h"
#include "sim/lane/power_and_psam.h"
#include "sim/lane/torn_command.h"

namespace vqsim {

// A PSAM sits in the slot from the start; SetPsamPresent(false) takes it out.
VirtualReader::VirtualReader() { state_.psam = std::make_shared<Psam>(); }

void VirtualReader::SetPsamPresent(bool present) {
  std::lock_guard lock(mutex_);
  state_.psamPresent = present;
}

void VirtualReader::SeedCards(uint32_t seed) {
  std::lock_guard lock(mutex_);
  cardSeeds_.emplace(seed);
}

std::optional<uint32_t> VirtualReader::NextCardSeed() {
  std::lock_guard lock(mutex_);
  if (!cardSeeds_) return std::nullopt;
  return static_cast<uint32_t>((*cardSeeds_)());
}

void VirtualReader::InsertCard(std::shared_ptr<Card> card) {
  std::lock_guard lock(mutex_);
  state_.field.Insert(std::move(card));
}

void VirtualReader::RemoveCard(const Card* card) {
  std::lock_guard lock(mutex_);
  state_.field.Remove(card);
}

void VirtualReader::ClearField() {
  std::lock_guard lock(mutex_);
  state_.field.Clear();
}

void VirtualReader::WithState(const std::function<void(ReaderState&)>& change) {
  std::lock_guard lock(mutex_);
  change(state_);
}

void VirtualReader::SetTiming(TimingProfile profile) {
  std::lock_guard lock(mutex_);
  timing_ = std::move(profile);
}

TimingProfile VirtualReader::Timing() const {
  std::lock_guard lock(mutex_);
  return timing_;
}

std::chrono::nanoseconds VirtualReader::ByteTime() const {
  std::lock_guard lock(mutex_);
  return timing_.LineTime(1, state_.hostLineBaud);
}

std::chrono::nanoseconds VirtualReader::LineTimeSoFar() const {
  std::lock_guard lock(mutex_);
  return lineTimeSoFar_;
}

Micros VirtualReader::CardTimeSoFar() const {
  std::lock_guard lock(mutex_);
  return cardTimeSoFar_;
}

FaultPlan& VirtualReader::Faults() { return faults_; }

void VirtualReader::SetScenario(std::shared_ptr<Scenario> scenario) {
  std::lock_guard lock(mutex_);
  scenario_ = std::move(scenario);
  if (scenario_) scenario_->Start(std::chrono::steady_clock::now());
}

void VirtualReader::ArmTear(Tear tear, TearTarget target) {
  std::lock_guard lock(mutex_);
  armedTear_ = ArmedTear{tear, target};
}

std::vector<std::string> VirtualReader::DescribeArmed() const {
  std::vector<std::string> lines;
  for (const FaultPlan::Armed& fault : faults_.Describe()) {
    const std::string commands = fault.commands < 0    ? "every command until cleared"
                                 : fault.commands == 1 ? "the next command"
                                                       : "the next " + std::to_string(fault.commands) + " commands";
    lines.push_back(fault.kind + (fault.setting.empty() ? "" : " " + fault.setting) + ", " + commands);
  }
  std::lock_guard lock(mutex_);
  if (armedTear_) {
    lines.push_back(std::string("tear ") + TearOutcomeName(armedTear_->tear.outcome) + ", the next " +
                    TearTargetName(armedTear_->target));
  }
  // A cut whose end has passed is over, though the reader comes back (its
  // state reset) only at the next command: no host can tell the difference.
  const auto now = std::chrono::steady_clock::now();
  if (state_.powerBackAt && *state_.powerBackAt > now) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*state_.powerBackAt - now);
    lines.push_back("power off, back in " + std::to_string(left.count()) + " ms");
  }
  return lines;
}

bool VirtualReader::Replaying() const {
  std::lock_guard lock(mutex_);
  return replay_ != nullptr;
}

void VirtualReader::SetReplay(std::shared_ptr<SessionReplay> replay) {
  std::lock_guard lock(mutex_);
  replay_ = std::move(replay);
}

std::vector<std::string> VirtualReader::DescribeScenario() const {
  std::lock_guard lock(mutex_);
  return scenario_ ? scenario_->Describe() : std::vector<std::string>{};
}

std::vector<ReceivedFrame> VirtualReader::ReceivedFrames() const {
  std::lock_guard lock(mutex_);
  return received_;
}

size_t VirtualReader::CountReceived(uint8_t command) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::ranges::count(received_, command, &ReceivedFrame::command));
}

void VirtualReader::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.clear();
}

void VirtualReader::LimitHistory(size_t frames) {
  std::lock_guard lock(mutex_);
  historyLimit_ = frames;
  TrimHistory();
}

void VirtualReader::TrimHistory() {
  if (received_.size() <= historyLimit_) return;
  received_.erase(received_.begin(),
                  received_.end() - static_cast<std::ptrdiff_t>(historyLimit_));
}

void VirtualReader::DropPartialFrame() {
  std::lock_guard lock(mutex_);
  parser_.DropPartialFrame();
}

std::vector<AnswerChunk> VirtualReader::Receive(std::span<const uint8_t> bytes,
                                                std::chrono::steady_clock::time_point at) {
  std::lock_guard lock(mutex_);
  lineTimeSoFar_ += static_cast<int64_t>(bytes.size()) * timing_.LineTime(1, state_.hostLineBaud);
  std::vector<AnswerChunk> answers;
  for (ReceivedFrame& frame : parser_.Feed(bytes, at)) {
    std::vector<AnswerChunk> answer = Answer(frame);
    answers.insert(answers.end(), std::make_move_iterator(answer.begin()),
                   std::make_move_iterator(answer.end()));
    received_.push_back(std::move(frame));
  }
  TrimHistory();
  return answers;
}

// A swallowed command is not run; a forced status replaces running it. A
// command that runs takes the card's time; its answer goes out at the line
// speed it came in with, even when the command changed the speed. The
// scenario may have the reader unpowered, tear the card away, or add faults.
std::vector<AnswerChunk> VirtualReader::Answer(const ReceivedFrame& frame) {
  const std::chrono::nanoseconds byteTime = timing_.LineTime(1, state_.hostLineBaud);
  if (replay_) return replay_->Answer(frame, static_cast<int64_t>(frame.bytes.size()) * byteTime);
  CommandPlan plan = scenario_ ? scenario_->BeforeCommand(state_, frame) : CommandPlan{};
  if (plan.unpowered || !Powered(state_, frame.at)) return {};  // the scenario's cut, or one of ctl power-off
  // A card torn by an armed tear is kept aside, to be put back (ctl enter)
  // with what the command left on it; a scenario's tear puts its own back.
  std::shared_ptr<Card> tornAside;
  if (armedTear_ && !plan.tear && frame.checkByteOk && TearTargets(armedTear_->target, frame)) {
    plan.tear = armedTear_->tear;
    armedTear_.reset();
    tornAside = state_.field.Selected();
  }
  FrameFaults faults = faults_.TakeFor(frame.command());
  faults.Add(plan.faults);
  if (faults.silent) {
    if (scenario_) scenario_->AfterCommand(state_, frame, frame.at);
    return {};
  }

  Reply reply;
  Micros cardTime{0};
  if (!frame.checkByteOk) {
    reply.status = status::kCommunicationError;
  } else if (faults.status) {
    reply.status = *faults.status;
  } else {
    const std::vector<uint8_t> data = frame.data();
    reply = plan.tear ? RunTorn(state_, frame.command(), data, *plan.tear) : Dispatch(state_, frame.command(), data);
    if (tornAside) state_.aside.push_back(std::move(tornAside));
    if (reply.data.size() > kMaxDataLength) reply = {status::kReaderBufferOverflow, {}};
    cardTime = timing_.CardTime(frame.command(), data, reply.data);
    cardTimeSoFar_ += cardTime;
  }
  if (scenario_) scenario_->AfterCommand(state_, frame, frame.at + cardTime);
  if (plan.tear && plan.tear->silent) return {};
  std::vector<AnswerChunk> chunks = faults.Shape(frame.sequence(), reply);
  for (AnswerChunk& chunk : chunks) {
    chunk.notBefore = frame.at + cardTime;
    chunk.byteTime = byteTime;
    lineTimeSoFar_ += static_cast<int64_t>(chunk.bytes.size()) * byteTime;
  }
  return chunks;
}

}  // namespace vqsim
