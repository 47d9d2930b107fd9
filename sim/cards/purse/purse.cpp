#include "sim/cards/purse/purse.h"

#include <algorithm>
#include <utility>

namespace vqsim {

namespace {

constexpr uint8_t kPurseP2 = 0x02;  // the electronic purse (01 would be a passbook)
constexpr uint8_t kLoadP1 = 0x00;
constexpr uint8_t kPurchaseP1 = 0x01;
constexpr uint8_t kInitialize = 0x50;
constexpr uint8_t kCredit = 0x52;
constexpr uint8_t kDebit = 0x54;
constexpr uint8_t kProve = 0x5A;
constexpr size_t kInitializeDataSize = 11;   // key index, amount, terminal number
constexpr size_t kDebitDataSize = 15;        // terminal serial, date, time, MAC1
constexpr size_t kCreditDataSize = 11;       // date, time, MAC2
constexpr size_t kBalanceSize = 4;

ResponseApdu Status(uint16_t statusWord) { return {{}, statusWord}; }

uint32_t ReadNumber(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

void AppendNumber(std::vector<uint8_t>& out, uint32_t value, size_t size) {
  for (size_t i = size; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

template <size_t N>
std::array<uint8_t, N> Take(std::span<const uint8_t> bytes, size_t offset) {
  std::array<uint8_t, N> out{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), N, out.begin());
  return out;
}

purse::DateTime DateTimeAt(std::span<const uint8_t> data, size_t offset) {
  return {Take<4>(data, offset), Take<3>(data, offset + 4)};
}

bool SameMac(const Mac& expected, std::span<const uint8_t> given) {
  return std::ranges::equal(expected, given);
}

}  // namespace

purse::IssuerId IssuerFile::IssuerId(std::span<const uint8_t> file) {
  return Take<8>(file, kIssuerIdOffset);
}

purse::ApplicationSerial IssuerFile::DiversifyingSerial(std::span<const uint8_t> file) {
  return Take<8>(file, kDiversifyingSerialOffset);
}

Purse::Purse(CardCore& core, CardFile& transactions, uint16_t applicationDf, PurseSetup setup)
    : core_(core),
      transactions_(transactions),
      applicationDf_(applicationDf),
      balance_(setup.balance),
      keys_(setup.keys),
      offlineCounter_(setup.offlineCounter),
      onlineCounter_(setup.onlineCounter),
      blocked_(setup.blocked) {
  auto bind = [this](ResponseApdu (Purse::*member)(const CommandApdu&)) {
    return [this, member](const CommandApdu& apdu) { return (this->*member)(apdu); };
  };
  const std::vector<uint8_t> proprietary{0x80};
  const std::vector<uint8_t> withMac{0x84};
  core_.SetCommand(kInitialize, proprietary, bind(&Purse::Initialize));
  core_.SetCommand(kDebit, proprietary, bind(&Purse::DebitForPurchase));
  core_.SetCommand(kCredit, proprietary, bind(&Purse::CreditForLoad));
  core_.SetCommand(0x5C, proprietary, bind(&Purse::GetBalance));
  core_.SetCommand(kProve, proprietary, bind(&Purse::GetTransactionProve));
  core_.SetCommand(0x1E, withMac, bind(&Purse::BlockApplication));
  core_.SetCommand(0x18, withMac, bind(&Purse::UnblockApplication));
}

void Purse::BeforeCommand(std::span<const uint8_t> command) {
  const bool finishing = command.size() > 1 && (command[1] == kDebit || command[1] == kCredit);
  if (!finishing) open_.reset();
}

std::optional<uint16_t> Purse::RefusedInApplication() const {
  if (core_.CurrentDf().id != applicationDf_) return sw::kConditionsNotSatisfied;
  if (Blocked()) return sw::kApplicationBlocked;
  return std::nullopt;
}

ResponseApdu Purse::Initialize(const CommandApdu& apdu) {
  if (auto refused = RefusedInApplication()) return Status(*refused);
  if ((apdu.p1 != kLoadP1 && apdu.p1 != kPurchaseP1) || apdu.p2 != kPurseP2) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != kInitializeDataSize) return Status(sw::kWrongLength);
  const bool load = apdu.p1 == kLoadP1;
  if (load && !core_.PinVerified()) return Status(sw::kSecurityNotSatisfied);
  if (apdu.data[0] != kKeyIndex) return Status(sw::kKeyIndexUnsupported);
  const uint16_t counter = load ? onlineCounter_ : offlineCounter_;
  if (counter == UINT16_MAX) return Status(sw::kCounterExhausted);
  const uint32_t amount = ReadNumber(std::span(apdu.data).subspan(1, 4));
  if (load && amount > kMostBalance - balance_) return Status(sw::kPurseFull);
  if (!load && amount > balance_) return Status(sw::kInsufficientBalance);

  OpenTransaction open{.load = load, .amount = amount, .terminal = Take<6>(apdu.data, 5)};
  core_.DrawRandom(open.random);

  std::vector<uint8_t> answer;
  AppendNumber(answer, balance_, kBalanceSize);
  AppendNumber(answer, counter, 2);
  if (!load) AppendNumber(answer, 0, 3);  // no overdraft
  answer.insert(answer.end(), {kKeyVersion, kAlgorithm});
  answer.insert(answer.end(), open.random.begin(), open.random.end());
  if (load) {
    open.loadSession = purse::LoadSessionKey(keys_.load, open.random, counter);
    const Mac mac1 = purse::LoadMac1(open.loadSession, balance_, {amount, open.terminal, {}});
    answer.insert(answer.end(), mac1.begin(), mac1.end());
  }
  open_ = open;
  return {answer, sw::kOk};
}

// The open purchase is used up by this command, whatever it answers.
ResponseApdu Purse::DebitForPurchase(const CommandApdu& apdu) {
  const std::optional<OpenTransaction> open = std::exchange(open_, std::nullopt);
  if (auto refused = RefusedInApplication()) return Status(*refused);
  if (apdu.p1 != kPurchaseP1 || apdu.p2 != 0x00) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != kDebitDataSize) return Status(sw::kWrongLength);
  if (!open || open->load) return Status(sw::kInvalidState);

  const std::span<const uint8_t> data(apdu.data);
  const purse::PurchaseTerms terms{open->amount, open->terminal, ReadNumber(data.first(4)), DateTimeAt(data, 4)};
  const purse::SingleKey session =
      purse::PurchaseSessionKey(keys_.purchase, open->random, offlineCounter_, terms.terminalSerial);
  if (!SameMac(purse::PurchaseMac1(session, terms), data.last(4))) return Status(sw::kWrongPurseMac);

  balance_ -= terms.amount;
  Record(offlineCounter_, terms.amount, purse::kPurchaseType, terms.terminal, terms.when);
  ++offlineCounter_;
  const Mac tac = purse::PurchaseTac(keys_.tac, terms);
  const Mac mac2 = purse::PurchaseMac2(session, terms.amount);
  lastPurchase_ = PurchaseProof{static_cast<uint16_t>(offlineCounter_ - 1), mac2, tac};
  std::vector<uint8_t> answer(tac.begin(), tac.end());
  answer.insert(answer.end(), mac2.begin(), mac2.end());
  return {answer, sw::kOk};
}

ResponseApdu Purse::CreditForLoad(const CommandApdu& apdu) {
  const std::optional<OpenTransaction> open = std::exchange(open_, std::nullopt);
  if (auto refused = RefusedInApplication()) return Status(*refused);
  if (apdu.p1 != 0x00 || apdu.p2 != 0x00) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != kCreditDataSize) return Status(sw::kWrongLength);
  if (!open || !open->load) return Status(sw::kInvalidState);

  const std::span<const uint8_t> data(apdu.data);
  const purse::LoadTerms terms{open->amount, open->terminal, DateTimeAt(data, 0)};
  if (!SameMac(purse::LoadMac2(open->loadSession, terms), data.last(4))) return Status(sw::kWrongPurseMac);

  balance_ += terms.amount;
  Record(onlineCounter_, terms.amount, purse::kLoadType, terms.terminal, terms.when);
  const Mac tac = purse::LoadTac(keys_.tac, balance_, onlineCounter_, terms);
  ++onlineCounter_;
  return {{tac.begin(), tac.end()}, sw::kOk};
}

ResponseApdu Purse::GetBalance(const CommandApdu& apdu) {
  if (apdu.p1 != 0x00 || apdu.p2 != kPurseP2) return Status(sw::kWrongP1P2);
  if (apdu.HasData() || apdu.le != kBalanceSize) return Status(sw::kWrongLength);
  if (auto refused = RefusedInApplication()) return Status(*refused);
  std::vector<uint8_t> answer;
  AppendNumber(answer, balance_, kBalanceSize);
  return {answer, sw::kOk};
}

// Only the last purchase can be proved, and only by its own counter (the
// one INITIALIZE answered before it): an older or an unknown counter, like
// a purchase that never reached the card, has nothing to prove.
ResponseApdu Purse::GetTransactionProve(const CommandApdu& apdu) {
  constexpr size_t kCounterSize = 2;
  constexpr size_t kProofSize = 8;  // MAC2, then TAC
  if (auto refused = RefusedInApplication()) return Status(*refused);
  if (apdu.p1 != 0x00) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != kCounterSize || (apdu.le && *apdu.le != kProofSize)) return Status(sw::kWrongLength);
  const uint16_t counter = static_cast<uint16_t>(ReadNumber(apdu.data));
  if (apdu.p2 != purse::kPurchaseType || !lastPurchase_ || lastPurchase_->counter != counter) {
    return Status(sw::kProveUnavailable);
  }
  std::vector<uint8_t> answer(lastPurchase_->mac2.begin(), lastPurchase_->mac2.end());
  answer.insert(answer.end(), lastPurchase_->tac.begin(), lastPurchase_->tac.end());
  return {answer, sw::kOk};
}

// The card core has proved and stripped the MAC; nothing else is sent.
ResponseApdu Purse::BlockApplication(const CommandApdu& apdu) {
  if (core_.CurrentDf().id != applicationDf_) return Status(sw::kConditionsNotSatisfied);
  if (apdu.p1 != 0x00 || apdu.p2 > 0x01) return Status(sw::kWrongP1P2);
  if (apdu.HasData()) return Status(sw::kWrongLength);
  if (apdu.p2 == 0x01) {
    blocked_ = PurseBlock::kPermanent;
  } else if (blocked_ == PurseBlock::kNone) {
    blocked_ = PurseBlock::kTemporary;
  }
  return Status(sw::kOk);
}

ResponseApdu Purse::UnblockApplication(const CommandApdu& apdu) {
  if (core_.CurrentDf().id != applicationDf_) return Status(sw::kConditionsNotSatisfied);
  if (apdu.p1 != 0x00 || apdu.p2 != 0x00) return Status(sw::kWrongP1P2);
  if (apdu.HasData()) return Status(sw::kWrongLength);
  if (blocked_ == PurseBlock::kPermanent) return Status(sw::kConditionsNotSatisfied);
  blocked_ = PurseBlock::kNone;
  return Status(sw::kOk);
}

void Purse::Record(uint16_t counter, uint32_t amount, uint8_t type, const purse::TerminalNumber& terminal,
                   const purse::DateTime& when) {
  std::vector<uint8_t> record;
  AppendNumber(record, counter, 2);
  AppendNumber(record, 0, 3);  // overdraft limit
  AppendNumber(record, amount, 4);
  record.push_back(type);
  record.insert(record.end(), terminal.begin(), terminal.end());
  record.insert(record.end(), when.date.begin(), when.date.end());
  record.insert(record.end(), when.time.begin(), when.time.end());
  transactions_.AppendRecord(std::move(record));
}

}  // namespace vqsim
