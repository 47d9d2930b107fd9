#include "sim/cards/cpu_card.h"

#include <stdexcept>
#include <string_view>
#include <utility>

namespace vqsim {

namespace {

constexpr std::string_view kPaymentSystemName = "1PAY.SYS.DDF01";

CardFile MasterFile(const CpuCardProfile& profile) {
  CardFile mf = CardFile::Dedicated(0x3F00, {kPaymentSystemName.begin(), kPaymentSystemName.end()});
  CardFile& application = mf.Add(CardFile::Dedicated(CpuCardProfile::kApplicationDf, profile.applicationName));
  CardFile& issuer = application.Add(CardFile::Transparent(CpuCardProfile::kIssuerFile, 0x15, profile.issuerData));
  issuer.update = Access::kExternalAuthentication;
  CardFile& cardholder =
      application.Add(CardFile::Transparent(CpuCardProfile::kCardholderFile, 0x16, profile.cardholderData));
  cardholder.read = Access::kPin;
  cardholder.update = Access::kPin;
  CardFile& transactions = application.Add(CardFile::Cyclic(
      CpuCardProfile::kTransactionFile, 0x18, CpuCardProfile::kTransactionRecordLength,
      CpuCardProfile::kTransactionCapacity));
  transactions.update = Access::kPin;
  if (profile.transactionRecords) {
    const auto& records = *profile.transactionRecords;
    if (records.size() > CpuCardProfile::kTransactionCapacity) {
      throw std::invalid_argument("more transaction records than the file's 10");
    }
    for (auto record = records.rbegin(); record != records.rend(); ++record) {  // the oldest first
      if (record->size() != CpuCardProfile::kTransactionRecordLength) {
        throw std::invalid_argument("a transaction record of other than 23 bytes");
      }
      transactions.AppendRecord(*record);
    }
    return mf;
  }
  // Two earlier transactions; the first byte numbers them.
  for (uint8_t number : {1, 2}) {
    std::vector<uint8_t> record(CpuCardProfile::kTransactionRecordLength, 0x00);
    record[0] = number;
    transactions.AppendRecord(std::move(record));
  }
  return mf;
}

CardFile& TransactionFile(CardCore& core) {
  return *core.MasterFile().Child(CpuCardProfile::kApplicationDf)->Child(CpuCardProfile::kTransactionFile);
}

// The card's purse keys, diversified when the card was personalised.
PurseSetup PurseOf(const CpuCardProfile& profile) {
  if (profile.issuerData.size() < IssuerFile::kSize) {
    throw std::invalid_argument("the issuer data is shorter than its 30 bytes");
  }
  if (profile.balance > Purse::kMostBalance) throw std::invalid_argument("a balance past 2^31 - 1");
  const purse::PurseKeys keys = purse::CardKeys(profile.masterKeys, IssuerFile::IssuerId(profile.issuerData),
                                                IssuerFile::DiversifyingSerial(profile.issuerData));
  return {profile.balance, keys, profile.purchaseCounter, profile.loadCounter, profile.blocked};
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
      core_(MasterFile(profile), Secrets(profile), profile.randomSeed),
      purse_(core_, TransactionFile(core_), CpuCardProfile::kApplicationDf, PurseOf(profile)) {}

const CardFile& CpuCard::ApplicationFile(uint16_t id) const {
  return *core_.MasterFile().Child(CpuCardProfile::kApplicationDf)->Child(id);
}

void CpuCard::PowerCycle() {
  core_.Reset();
  purse_.Reset();
}

std::vector<uint8_t> CpuCard::Exchange(std::span<const uint8_t> command) {
  purse_.BeforeCommand(command);
  return core_.Exchange(command);
}

std::vector<uint8_t> CpuCard::Reset() {
  PowerCycle();
  return {0x05, 0x78, 0x80, 0x70, 0x02};
}

}  // namespace vqsim
