#include "sim/cards/psam.h"

#include <string_view>

namespace vqsim {

namespace {

constexpr std::string_view kPaymentSystemName = "1PAY.SYS.DDF01";

CardFile MasterFile(const PsamProfile& profile) {
  CardFile mf = CardFile::Dedicated(0x3F00, {kPaymentSystemName.begin(), kPaymentSystemName.end()});
  mf.Add(CardFile::Transparent(0x0015, 0x15, profile.serialNumber)).update = Access::kNever;
  CardFile& terminal = mf.Add(CardFile::Transparent(
      0x0016, 0x16, {profile.terminalNumber.begin(), profile.terminalNumber.end()}));
  terminal.update = Access::kExternalAuthentication;
  mf.Add(CardFile::Dedicated(PsamProfile::kApplicationDf, profile.applicationName));
  return mf;
}

CardSecrets Secrets(const PsamProfile& profile) {
  CardSecrets secrets;
  secrets.pin = profile.pin;
  secrets.externalKeys[PsamProfile::kExternalKeyId] = CardKey{.value = profile.externalKey};
  secrets.internalKeys[PsamProfile::kInternalKeyId] = profile.internalKey;
  return secrets;
}

}  // namespace

Psam::Psam(PsamProfile profile)
    : core_(MasterFile(profile), Secrets(profile), profile.randomSeed),
      purse_(core_, *core_.MasterFile().Child(0x0016), PsamProfile::kApplicationDf,
             {profile.masterKeys, profile.terminalSerial}) {}

std::vector<uint8_t> Psam::Exchange(std::span<const uint8_t> command) {
  return core_.Exchange(command);
}

std::vector<uint8_t> Psam::Reset() {
  core_.Reset();
  purse_.Reset();
  return {0x3B, 0x6C, 0x00, 0x02, 0x50, 0x53, 0x41, 0x4D};
}

}  // namespace vqsim
