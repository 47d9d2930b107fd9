// Request modes: 0x26 wakes only cards that are not halted, 0x52 wakes
// every card in the field, halted ones included; other modes are refused.
// The one-step activation finds cards as 0x26 does; with several cards in
// the field it and 0x41 take the one anticollision finds, and cards it
// cannot part (one serial number) give "several cards". Halt (0x58) halts the
// selected card and ends its selection; a field reset wakes it again.

#include "sim/commands/activation_commands.h"

#include <algorithm>

#include "sim/commands/card_selection.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

constexpr uint8_t kRequestIdle = 0x26;
constexpr uint8_t kRequestAll = 0x52;

Reply Request(ReaderState& state, std::span<const uint8_t> data) {
  if (data[0] != kRequestIdle && data[0] != kRequestAll) return {status::kBadArguments, {}};
  if (data[0] == kRequestAll) {
    for (const auto& card : state.field.Cards()) {
      if (MifareClassic* mifare = AsMifareClassic(card.get())) mifare->WakeUp();
    }
  }
  const std::shared_ptr<Card> card = FirstReadyCard(state.field);
  if (!card) return {status::kNoCard, {}};
  const auto answer = card->AnswerToRequest();
  return {status::kSuccess, {answer.begin(), answer.end()}};
}

Reply Anticollision(ReaderState& state, std::span<const uint8_t>) {
  const FoundCard found = FindByAnticollision(state.field);
  if (!found.card) return {found.status, {}};
  const auto serial = found.card->Serial();
  return {status::kSuccess, {serial.begin(), serial.end()}};
}

Reply Select(ReaderState& state, std::span<const uint8_t> serial) {
  const auto& cards = state.field.Cards();
  const auto named = [&](const auto& card) {
    return !IsHalted(*card) && std::ranges::equal(card->Serial(), serial);
  };
  auto it = std::ranges::find_if(cards, named);
  if (it == cards.end()) return {status::kNoCard, {}};
  if (std::ranges::count_if(cards, named) > 1) return {status::kSeveralCards, {}};
  SelectCard(state.field, *it);
  return {status::kSuccess, {(*it)->Sak()}};
}

Reply Activate(ReaderState& state, std::span<const uint8_t>) {
  const FoundCard found = FindByAnticollision(state.field);
  if (!found.card) return {found.status, {}};
  const std::shared_ptr<Card>& card = found.card;
  SelectCard(state.field, card);
  const auto serial = card->Serial();
  Reply reply{status::kSuccess, {serial.begin(), serial.end()}};
  reply.data.push_back(card->Sak());
  return reply;
}

Reply Halt(ReaderState& state, std::span<const uint8_t>) {
  const std::shared_ptr<Card> card = state.field.Selected();
  if (!card) return {status::kNoCard, {}};
  if (MifareClassic* mifare = AsMifareClassic(card.get())) mifare->Halt();
  state.field.Select(nullptr);
  return {status::kSuccess, {}};
}

constexpr CommandEntry kEntries[] = {
    {0x40, 1, Request},        // request mode
    {0x41, 0, Anticollision},  // answers the serial number
    {0x42, 4, Select},         // serial number; answers the SAK
    {0x58, 0, Halt},
    {0x80, 0, Activate},       // answers serial number and SAK
};

}  // namespace

std::span<const CommandEntry> ActivationCommands() { return kEntries; }

}  // namespace vqsim
