#include "sim/lane/scenario.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vqsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kUserCardApdu = 0x60;
constexpr uint8_t kPsamApdu = 0x61;

bool IsDuring(const ScenarioTrigger& when) { return when.kind == ScenarioTrigger::Kind::kDuring; }

std::string TriggerText(const ScenarioTrigger& when) {
  if (when.kind == ScenarioTrigger::Kind::kAt) return "at " + std::to_string(when.at.count()) + " ms";
  std::string text = IsDuring(when) ? "during" : "after";
  text += " command " + std::to_string(when.count);
  if (IsDuring(when) && when.times > 1) text += " (and " + std::to_string(when.times - 1) + " more)";
  char code[24];
  if (when.filter.command) {
    std::snprintf(code, sizeof code, " of code %02X", *when.filter.command);
    text += code;
  }
  if (when.filter.instruction) {
    std::snprintf(code, sizeof code, " of instruction %02X", *when.filter.instruction);
    text += code;
  }
  return text;
}

struct WhatText {
  std::string operator()(const CardEnters&) const { return "a card enters"; }
  std::string operator()(const CardLeaves& leave) const {
    return leave.card ? "a card leaves" : "every card leaves";
  }
  std::string operator()(const Tear& tear) const {
    static constexpr const char* kOutcomes[] = {"done", "not done", "corrupt"};
    return std::string("the card is torn away, the command ") + kOutcomes[static_cast<int>(tear.outcome)];
  }
  std::string operator()(const LineFault&) const { return "a line fault"; }
  std::string operator()(const PowerOff& off) const {
    return "power off for " + std::to_string(off.duration.count()) + " ms";
  }
  std::string operator()(const PsamChange& change) const {
    static constexpr const char* kStates[] = {"PSAM present", "PSAM locked", "PSAM removed"};
    return kStates[static_cast<int>(change.to)];
  }
};

}  // namespace

bool CommandFilter::Matches(const ReceivedFrame& frame) const {
  if (command && frame.command() != *command) return false;
  if (!instruction) return true;
  const bool apdu = frame.command() == kUserCardApdu || frame.command() == kPsamApdu;
  const std::vector<uint8_t> data = frame.data();
  return apdu && data.size() > 1 && data[1] == *instruction;
}

Scenario::Scenario(std::vector<ScenarioEvent> events) {
  for (ScenarioEvent& event : events) entries_.push_back({std::move(event)});
}

void Scenario::Start(Clock::time_point at) { start_ = at; }

CommandPlan Scenario::BeforeCommand(ReaderState& state, const ReceivedFrame& frame) {
  if (!start_) start_ = frame.at;
  RunTimed(state, frame.at);
  CommandPlan plan;
  if (!Powered(state, frame.at)) {
    plan.unpowered = true;
    return plan;
  }
  for (Entry& entry : entries_) {
    const ScenarioTrigger& when = entry.event.when;
    if (entry.done || when.kind == ScenarioTrigger::Kind::kAt || !when.filter.Matches(frame)) continue;
    ++entry.matched;
    if (!IsDuring(when) || entry.matched < when.count) continue;
    entry.done = entry.matched >= when.count + when.times - 1;
    if (const Tear* tear = std::get_if<Tear>(&entry.event.what)) {
      plan.tear = *tear;
    } else if (const LineFault* fault = std::get_if<LineFault>(&entry.event.what)) {
      plan.faults.Add(fault->faults);
    } else {
      Apply(state, entry.event, frame.at);
      if (state.powerBackAt) plan.unpowered = true;  // the power went during this very command
    }
  }
  return plan;
}

void Scenario::AfterCommand(ReaderState& state, const ReceivedFrame&, Clock::time_point answeredAt) {
  for (Entry& entry : entries_) {
    const ScenarioTrigger& when = entry.event.when;
    if (entry.done || when.kind != ScenarioTrigger::Kind::kAfter || entry.matched < when.count) continue;
    entry.done = true;
    Apply(state, entry.event, answeredAt);
  }
}

void Scenario::RunTimed(ReaderState& state, Clock::time_point now) {
  for (Entry& entry : entries_) {
    const ScenarioTrigger& when = entry.event.when;
    if (entry.done || when.kind != ScenarioTrigger::Kind::kAt || *start_ + when.at > now) continue;
    entry.done = true;
    Apply(state, entry.event, *start_ + when.at);
  }
}

void Scenario::Apply(ReaderState& state, const ScenarioEvent& event, Clock::time_point now) {
  if (const auto* enter = std::get_if<CardEnters>(&event.what)) {
    const auto& cards = state.field.Cards();
    if (std::ranges::find(cards, enter->card) == cards.end()) state.field.Insert(enter->card);
  } else if (const auto* leave = std::get_if<CardLeaves>(&event.what)) {
    if (leave->card) {
      state.field.Remove(leave->card.get());
    } else {
      state.field.Clear();
    }
  } else if (const auto* off = std::get_if<PowerOff>(&event.what)) {
    CutPower(state, now, off->duration);
  } else if (const auto* change = std::get_if<PsamChange>(&event.what)) {
    ChangePsam(state, change->to);
  }
}

std::vector<std::string> Scenario::Describe() const {
  std::vector<std::string> lines;
  for (const Entry& entry : entries_) {
    lines.push_back(TriggerText(entry.event.when) + ": " + std::visit(WhatText{}, entry.event.what) +
                    (entry.done ? " (done)" : ""));
  }
  return lines;
}

}  // namespace vqsim
