#include "sim/cards/purse/psam_purse.h"

#include <algorithm>
#include <utility>

namespace vqsim {

namespace {

constexpr size_t kMac1DataSize = 36;
constexpr size_t kDiversificationSize = 16;  // application serial number, issuer identifier

ResponseApdu Status(uint16_t statusWord) { return {{}, statusWord}; }

template <size_t N>
std::array<uint8_t, N> Take(std::span<const uint8_t> bytes, size_t offset) {
  std::array<uint8_t, N> out{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), N, out.begin());
  return out;
}

uint32_t ReadNumber(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

void AppendNumber(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

purse::PurseKeys CardKeysFrom(const purse::PurseKeys& master, std::span<const uint8_t> serialThenIssuer) {
  return purse::CardKeys(master, Take<8>(serialThenIssuer, 8), Take<8>(serialThenIssuer, 0));
}

}  // namespace

PsamPurse::PsamPurse(CardCore& core, const CardFile& terminalFile, uint16_t applicationDf,
                     PsamPurseSetup setup)
    : core_(core),
      terminalFile_(terminalFile),
      applicationDf_(applicationDf),
      masterKeys_(setup.masterKeys),
      terminalSerial_(setup.terminalSerial) {
  auto bind = [this](ResponseApdu (PsamPurse::*member)(const CommandApdu&)) {
    return [this, member](const CommandApdu& apdu) { return (this->*member)(apdu); };
  };
  const std::vector<uint8_t> proprietary{0x80};
  core_.SetCommand(0x70, proprietary, bind(&PsamPurse::PurchaseMac1));
  core_.SetCommand(0x72, proprietary, bind(&PsamPurse::CheckMac2));
  core_.SetCommand(0x1A, proprietary, bind(&PsamPurse::TakeTacKey));
  core_.SetCommand(0xFA, proprietary, bind(&PsamPurse::ComputeMac));
}

void PsamPurse::Reset() {
  open_.reset();
  tacKey_.reset();
}

std::optional<uint16_t> PsamPurse::RefusedOutsideApplication() const {
  if (core_.CurrentDf().id != applicationDf_) return sw::kConditionsNotSatisfied;
  return std::nullopt;
}

ResponseApdu PsamPurse::PurchaseMac1(const CommandApdu& apdu) {
  if (auto refused = RefusedOutsideApplication()) return Status(*refused);
  if (apdu.p1 != 0x00 || apdu.p2 != 0x00) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != kMac1DataSize) return Status(sw::kWrongLength);
  const std::span<const uint8_t> data(apdu.data);
  if (data[10] != purse::kPurchaseType) return Status(sw::kIncorrectData);
  if (data[18] != Purse::kKeyVersion || data[19] != Purse::kAlgorithm) return Status(sw::kReferenceNotFound);
  if (terminalFile_.content.size() != std::tuple_size_v<purse::TerminalNumber>) {
    return Status(sw::kConditionsNotSatisfied);
  }

  const purse::PurseKeys card = CardKeysFrom(masterKeys_, data.subspan(20, kDiversificationSize));
  const purse::PurchaseTerms terms{ReadNumber(data.subspan(6, 4)), Take<6>(terminalFile_.content, 0),
                                   terminalSerial_, {Take<4>(data, 11), Take<3>(data, 15)}};
  const purse::SingleKey session = purse::PurchaseSessionKey(
      card.purchase, Take<4>(data, 0), static_cast<uint16_t>(ReadNumber(data.subspan(4, 2))), terminalSerial_);
  const Mac mac1 = purse::PurchaseMac1(session, terms);
  open_ = OpenPurchase{session, terms.amount};

  std::vector<uint8_t> answer;
  AppendNumber(answer, terminalSerial_++);
  answer.insert(answer.end(), mac1.begin(), mac1.end());
  return {answer, sw::kOk};
}

ResponseApdu PsamPurse::CheckMac2(const CommandApdu& apdu) {
  if (auto refused = RefusedOutsideApplication()) return Status(*refused);
  if (apdu.p1 != 0x00 || apdu.p2 != 0x00) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != sizeof(Mac)) return Status(sw::kWrongLength);
  const std::optional<OpenPurchase> open = std::exchange(open_, std::nullopt);
  if (!open) return Status(sw::kInvalidState);
  const Mac expected = purse::PurchaseMac2(open->session, open->amount);
  return Status(std::ranges::equal(expected, apdu.data) ? sw::kOk : sw::kWrongPurseMac);
}

ResponseApdu PsamPurse::TakeTacKey(const CommandApdu& apdu) {
  if (auto refused = RefusedOutsideApplication()) return Status(*refused);
  if (apdu.p1 != kTacKeyUsage) return Status(sw::kWrongP1P2);
  if (apdu.p2 != Purse::kKeyVersion) return Status(sw::kReferenceNotFound);
  if (apdu.data.size() != kDiversificationSize) return Status(sw::kWrongLength);
  tacKey_ = purse::FoldTacKey(CardKeysFrom(masterKeys_, apdu.data).tac);
  return Status(sw::kOk);
}

ResponseApdu PsamPurse::ComputeMac(const CommandApdu& apdu) {
  if (auto refused = RefusedOutsideApplication()) return Status(*refused);
  if (apdu.p1 != kMacOperation || apdu.p2 != 0x00) return Status(sw::kWrongP1P2);
  if (!apdu.HasData()) return Status(sw::kWrongLength);
  if (!tacKey_) return Status(sw::kConditionsNotSatisfied);
  const Mac mac = purse::PurseMac(*tacKey_, apdu.data);
  return {{mac.begin(), mac.end()}, sw::kOk};
}

}  // namespace vqsim
