#include "sim/cpu_card.h"

#include <string_view>
#include <utility>

namespace vqsim {

namespace {

constexpr std::string_view kPaymentSystemName = "1PAY.SYS.DDF01";
constexpr size_t kTransactionCapacity = 10;

CardFile MasterFile(const CpuCardProfile& profile) {
  CardFile mf = CardFile::Dedicated(0x3F00, {kPaymentSystemName.begin(), kPaymentSystemName.end()});
  CardFile& application = mf.Add(CardFile::Dedicated(CpuCardProfile::kApplicationDf, profile.applicationName));
  CardFile& issuer = application.Add(CardFile::Transparent(0x0015, 0x15, profile.issuerData));
  issuer.update = Access::kExternalAuthentication;
  CardFile& cardholder = application.Add(CardFile::Transparent(0x0016, 0x16, profile.cardholderData));
  cardholder.read = Access::kPin;
  cardholder.update = Access::kPin;
  CardFile& transactions = application.Add(
      CardFile::Cyclic(0x0018, 0x18, CpuCardProfile::kTransactionRecordLength, kTransactionCapacity));
  transactions.update = Access::kPin;
  // Two earlier transactions; the first byte numbers them.
  for (uint8_t number : {1, 2}) {
    std::vector<uint8_t> record(CpuCardProfile::kTransactionRecordLength, 0x00);
    record[0] = number;
    transactions.AppendRecord(std::move(record));
  }
  return mf;
}

CardSecrets Secrets(const CpuCardProfile& profile) {
  CardSecrets secrets;
  secrets.pin = profile.pin;
  secrets.externalKeys[CpuCardProfile::kExternalKeyId] = CardKey{.value = profile.externalKey};
  secrets.internalKeys[CpuCardProfile::kInternalKeyId] = profile.internalKey;
  secrets.macKey = profile.macKey;
  return secrets;
}

}  // namespace

CpuCard::CpuCard(CpuCardProfile profile)
    : serial_(profile.serial),
      balance_(profile.balance),
      core_(MasterFile(profile), Secrets(profile), profile.randomSeed) {
  core_.SetCommand(0x5C, {0x80}, [this](const CommandApdu& apdu) { return GetBalance(apdu); });
}

std::vector<uint8_t> CpuCard::Exchange(std::span<const uint8_t> command) {
  return core_.Exchange(command);
}

std::vector<uint8_t> CpuCard::Reset() {
  core_.Reset();
  return {0x05, 0x78, 0x80, 0x70, 0x02};
}

// P2 02 is the electronic purse; the balance is big-endian.
ResponseApdu CpuCard::GetBalance(const CommandApdu& apdu) {
  if (apdu.p1 != 0x00 || apdu.p2 != 0x02) return {{}, sw::kWrongP1P2};
  if (apdu.HasData() || apdu.le != 4u) return {{}, sw::kWrongLength};
  if (core_.CurrentDf().id != CpuCardProfile::kApplicationDf) return {{}, sw::kConditionsNotSatisfied};
  return {{static_cast<uint8_t>(balance_ >> 24), static_cast<uint8_t>(balance_ >> 16),
           static_cast<uint8_t>(balance_ >> 8), static_cast<uint8_t>(balance_)},
          sw::kOk};
}

}  // namespace vqsim
