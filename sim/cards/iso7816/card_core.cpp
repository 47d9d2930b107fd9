#include "sim/cards/iso7816/card_core.h"

#include <algorithm>
#include <utility>

namespace vqsim {

namespace {

constexpr uint8_t kSecureMessagingBit = 0x04;
constexpr size_t kMacSize = 4;
constexpr uint8_t kShortIdInP1 = 0x80;     // READ/UPDATE BINARY: P1 = 100x xxxx, SFI and offset P2
constexpr uint8_t kShortIdMask = 0x1F;
constexpr uint8_t kRecordNumberInP1 = 0x04;  // READ/UPDATE RECORD: P2 = SFI << 3 | 100
constexpr size_t kLongestAnswer = 256;
constexpr uint8_t kGetResponse = 0xC0;

ResponseApdu Status(uint16_t statusWord) { return {{}, statusWord}; }

uint16_t WithLength(uint16_t statusWord, size_t length) {
  return static_cast<uint16_t>(statusWord | (length & 0xFF));
}

// What SELECT answers: the DF's name in an FCI template, or an EF's
// identifier and size in an FCP template.
std::vector<uint8_t> ControlInformation(const CardFile& file) {
  std::vector<uint8_t> inner;
  uint8_t tag = 0x6F;
  if (file.kind == FileKind::kDedicated) {
    inner = {0x84, static_cast<uint8_t>(file.name.size())};
    inner.insert(inner.end(), file.name.begin(), file.name.end());
  } else {
    tag = 0x62;
    const size_t size = file.kind == FileKind::kTransparent ? file.content.size()
                                                            : file.recordLength * file.recordCapacity;
    inner = {0x83, 0x02, static_cast<uint8_t>(file.id >> 8), static_cast<uint8_t>(file.id),
             0x80, 0x02, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
  }
  std::vector<uint8_t> out{tag, static_cast<uint8_t>(inner.size())};
  out.insert(out.end(), inner.begin(), inner.end());
  return out;
}

}  // namespace

CardCore::CardCore(CardFile masterFile, CardSecrets secrets, std::optional<uint32_t> randomSeed)
    : masterFile_(std::move(masterFile)),
      secrets_(std::move(secrets)),
      random_(randomSeed ? *randomSeed : std::random_device{}()) {
  pinTriesLeft_ = secrets_.pinTries;
  auto bind = [this](ResponseApdu (CardCore::*member)(const CommandApdu&)) {
    return [this, member](const CommandApdu& apdu) { return (this->*member)(apdu); };
  };
  const std::vector<uint8_t> plain{0x00};
  const std::vector<uint8_t> plainOrWithMac{0x00, kSecureMessagingBit};
  SetCommand(0xA4, plain, bind(&CardCore::Select));
  SetCommand(0xB0, plainOrWithMac, bind(&CardCore::ReadBinary));
  SetCommand(0xD6, plainOrWithMac, bind(&CardCore::UpdateBinary));
  SetCommand(0xB2, plainOrWithMac, bind(&CardCore::ReadRecord));
  SetCommand(0xDC, plainOrWithMac, bind(&CardCore::UpdateRecord));
  SetCommand(0xE2, plainOrWithMac, bind(&CardCore::AppendRecord));
  SetCommand(0x20, plainOrWithMac, bind(&CardCore::Verify));
  SetCommand(0x84, plain, bind(&CardCore::GetChallenge));
  SetCommand(0x82, plain, bind(&CardCore::ExternalAuthenticate));
  SetCommand(0x88, plain, bind(&CardCore::InternalAuthenticate));
  SetCommand(kGetResponse, plain, bind(&CardCore::GetResponse));
  Reset();
}

void CardCore::DrawRandom(std::span<uint8_t> bytes) {
  std::uniform_int_distribution<int> byte(0, 0xFF);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random_));
}

void CardCore::SetCommand(uint8_t ins, std::vector<uint8_t> classes, Handler handler) {
  commands_[ins] = {std::move(classes), std::move(handler)};
}

void CardCore::Reset() {
  EnterDf(masterFile_);
  challenge_.reset();
  waitingResponse_.clear();
}

std::vector<uint8_t> CardCore::Exchange(std::span<const uint8_t> command) {
  std::optional<CommandApdu> apdu = CommandApdu::Parse(command);
  if (!apdu || apdu->ins != kGetResponse) waitingResponse_.clear();
  if (!apdu) return Status(sw::kWrongLength).Bytes();
  ResponseApdu response = Run(*apdu);
  if (answersByGetResponse_ && apdu->HasData() && !response.data.empty()) {
    waitingResponse_ = std::move(response.data);
    return Status(WithLength(sw::kResponseWaiting, waitingResponse_.size())).Bytes();
  }
  return response.Bytes();
}

ResponseApdu CardCore::Run(const CommandApdu& apdu) {
  auto it = commands_.find(apdu.ins);
  if (it == commands_.end()) return Status(sw::kUnknownInstruction);
  if (std::ranges::find(it->second.classes, apdu.cla) == it->second.classes.end()) {
    return Status(sw::kUnknownClass);
  }
  CommandApdu checked = apdu;
  if (apdu.cla & kSecureMessagingBit) {
    if (std::optional<ResponseApdu> refused = CheckMac(checked)) return *refused;
  }
  return it->second.handler(checked);
}

// Strips the MAC from the data once it proves right; the challenge it was
// chained from is used up either way.
std::optional<ResponseApdu> CardCore::CheckMac(CommandApdu& apdu) {
  if (apdu.data.size() < kMacSize) return Status(sw::kSecureMessagingMissing);
  if (!challenge_) return Status(sw::kChallengeMissing);
  const DesBlock chainStart = *challenge_;
  challenge_.reset();
  std::vector<uint8_t> covered{apdu.cla, apdu.ins, apdu.p1, apdu.p2,
                               static_cast<uint8_t>(apdu.data.size())};
  const auto macStart = apdu.data.end() - kMacSize;
  covered.insert(covered.end(), apdu.data.begin(), macStart);
  const Mac expected = Mac3Des(secrets_.macKey, chainStart, covered);
  if (!std::equal(expected.begin(), expected.end(), macStart)) return Status(sw::kWrongMac);
  apdu.data.erase(macStart, apdu.data.end());
  return std::nullopt;
}

bool CardCore::Allows(Access access) const {
  switch (access) {
    case Access::kAlways:
      return true;
    case Access::kPin:
      return pinVerified_;
    case Access::kExternalAuthentication:
      return externallyAuthenticated_;
    case Access::kNever:
      return false;
  }
  return false;
}

void CardCore::EnterDf(CardFile& df) {
  currentDf_ = &df;
  currentEf_ = nullptr;
  pinVerified_ = false;
  externallyAuthenticated_ = false;
}

ResponseApdu CardCore::Select(const CommandApdu& apdu) {
  if (apdu.p2 != 0x00 && apdu.p2 != 0x0C) return Status(sw::kWrongP1P2);
  CardFile* file = nullptr;
  CardFile* parent = currentDf_;
  if (apdu.p1 == 0x00) {
    if (apdu.data.size() != 0 && apdu.data.size() != 2) return Status(sw::kWrongLength);
    const uint16_t id = apdu.data.empty() ? masterFile_.id
                                          : static_cast<uint16_t>(apdu.data[0] << 8 | apdu.data[1]);
    if (id == masterFile_.id) {
      file = &masterFile_;
    } else if ((file = currentDf_->Child(id)) == nullptr) {
      file = masterFile_.Child(id);
      parent = &masterFile_;
    }
  } else if (apdu.p1 == 0x04) {
    if (apdu.data.empty()) return Status(sw::kWrongLength);
    file = masterFile_.FindDedicated(apdu.data);
  } else {
    return Status(sw::kWrongP1P2);
  }
  if (file == nullptr) return Status(sw::kFileNotFound);
  if (file->kind == FileKind::kDedicated) {
    EnterDf(*file);
  } else {
    if (parent != currentDf_) EnterDf(*parent);
    currentEf_ = file;
  }
  if (apdu.p2 == 0x0C) return Status(sw::kOk);
  return {ControlInformation(*file), sw::kOk};
}

std::optional<uint16_t> CardCore::FindBinaryFile(const CommandApdu& apdu, CardFile*& file,
                                                  size_t& offset) {
  if (apdu.p1 & kShortIdInP1) {
    if (apdu.p1 & ~(kShortIdInP1 | kShortIdMask)) return sw::kWrongP1P2;
    file = currentDf_->ChildByShortId(apdu.p1 & kShortIdMask);
    if (file == nullptr) return sw::kFileNotFound;
    currentEf_ = file;
    offset = apdu.p2;
  } else {
    file = currentEf_;
    if (file == nullptr) return sw::kNoCurrentEf;
    offset = static_cast<size_t>(apdu.p1 << 8 | apdu.p2);
  }
  if (file->kind != FileKind::kTransparent) return sw::kIncompatibleFile;
  return std::nullopt;
}

std::optional<uint16_t> CardCore::FindRecordFile(uint8_t p2, CardFile*& file) {
  const uint8_t shortId = p2 >> 3;
  file = shortId == 0 ? currentEf_ : currentDf_->ChildByShortId(shortId);
  if (file == nullptr) return shortId == 0 ? sw::kNoCurrentEf : sw::kFileNotFound;
  currentEf_ = file;
  if (file->kind != FileKind::kCyclic) return sw::kIncompatibleFile;
  return std::nullopt;
}

ResponseApdu CardCore::ReadBinary(const CommandApdu& apdu) {
  CardFile* file = nullptr;
  size_t offset = 0;
  if (auto refused = FindBinaryFile(apdu, file, offset)) return Status(*refused);
  if (!Allows(file->read)) return Status(sw::kSecurityNotSatisfied);
  if (!apdu.le || apdu.HasData()) return Status(sw::kWrongLength);
  if (offset >= file->content.size()) return Status(sw::kWrongOffset);
  const size_t available = file->content.size() - offset;
  size_t count = *apdu.le;
  if (count == kLongestAnswer) {
    count = std::min(available, kLongestAnswer);
  } else if (count > available) {
    return Status(WithLength(sw::kExactLength, available));
  }
  const auto begin = file->content.begin() + static_cast<std::ptrdiff_t>(offset);
  return {{begin, begin + static_cast<std::ptrdiff_t>(count)}, sw::kOk};
}

ResponseApdu CardCore::UpdateBinary(const CommandApdu& apdu) {
  CardFile* file = nullptr;
  size_t offset = 0;
  if (auto refused = FindBinaryFile(apdu, file, offset)) return Status(*refused);
  if (!Allows(file->update)) return Status(sw::kSecurityNotSatisfied);
  if (!apdu.HasData() || apdu.le) return Status(sw::kWrongLength);
  if (offset + apdu.data.size() > file->content.size()) return Status(sw::kWrongOffset);
  std::ranges::copy(apdu.data, file->content.begin() + static_cast<std::ptrdiff_t>(offset));
  return Status(sw::kOk);
}

ResponseApdu CardCore::ReadRecord(const CommandApdu& apdu) {
  if (apdu.p1 == 0 || (apdu.p2 & 0x07) != kRecordNumberInP1) return Status(sw::kWrongP1P2);
  CardFile* file = nullptr;
  if (auto refused = FindRecordFile(apdu.p2, file)) return Status(*refused);
  if (!Allows(file->read)) return Status(sw::kSecurityNotSatisfied);
  if (!apdu.le || apdu.HasData()) return Status(sw::kWrongLength);
  if (apdu.p1 > file->records.size()) return Status(sw::kRecordNotFound);
  const std::vector<uint8_t>& record = file->records[apdu.p1 - 1u];
  if (*apdu.le != kLongestAnswer && *apdu.le != record.size()) {
    return Status(WithLength(sw::kExactLength, record.size()));
  }
  return {record, sw::kOk};
}

ResponseApdu CardCore::UpdateRecord(const CommandApdu& apdu) {
  if (apdu.p1 == 0 || (apdu.p2 & 0x07) != kRecordNumberInP1) return Status(sw::kWrongP1P2);
  CardFile* file = nullptr;
  if (auto refused = FindRecordFile(apdu.p2, file)) return Status(*refused);
  if (!Allows(file->update)) return Status(sw::kSecurityNotSatisfied);
  if (apdu.data.size() != file->recordLength || apdu.le) return Status(sw::kWrongLength);
  if (apdu.p1 > file->records.size()) return Status(sw::kRecordNotFound);
  file->records[apdu.p1 - 1u] = apdu.data;
  return Status(sw::kOk);
}

ResponseApdu CardCore::AppendRecord(const CommandApdu& apdu) {
  if (apdu.p1 != 0 || (apdu.p2 & 0x07) != 0) return Status(sw::kWrongP1P2);
  CardFile* file = nullptr;
  if (auto refused = FindRecordFile(apdu.p2, file)) return Status(*refused);
  if (!Allows(file->update)) return Status(sw::kSecurityNotSatisfied);
  if (apdu.data.size() != file->recordLength || apdu.le) return Status(sw::kWrongLength);
  file->AppendRecord(apdu.data);
  return Status(sw::kOk);
}

ResponseApdu CardCore::Verify(const CommandApdu& apdu) {
  if (apdu.p1 != 0) return Status(sw::kWrongP1P2);
  if (apdu.p2 != 0 || secrets_.pin.empty()) return Status(sw::kReferenceNotFound);
  if (pinTriesLeft_ == 0) return Status(sw::kBlocked);
  const auto left = [this] { return Status(WithLength(sw::kRetriesLeft, static_cast<size_t>(pinTriesLeft_))); };
  if (!apdu.HasData()) return left();  // asks how many tries are left
  if (apdu.data == secrets_.pin) {
    pinTriesLeft_ = secrets_.pinTries;
    pinVerified_ = true;
    return Status(sw::kOk);
  }
  pinVerified_ = false;
  return --pinTriesLeft_ == 0 ? Status(sw::kBlocked) : left();
}

ResponseApdu CardCore::GetChallenge(const CommandApdu& apdu) {
  if (apdu.p1 != 0 || apdu.p2 != 0) return Status(sw::kWrongP1P2);
  if (apdu.HasData() || !apdu.le || (*apdu.le != 4 && *apdu.le != 8)) return Status(sw::kWrongLength);
  DesBlock challenge{};
  DrawRandom(std::span(challenge).first(*apdu.le));
  challenge_ = challenge;
  return {{challenge.begin(), challenge.begin() + static_cast<std::ptrdiff_t>(*apdu.le)}, sw::kOk};
}

ResponseApdu CardCore::ExternalAuthenticate(const CommandApdu& apdu) {
  if (apdu.p1 != 0) return Status(sw::kWrongP1P2);
  if (apdu.data.size() != sizeof(DesBlock) || apdu.le) return Status(sw::kWrongLength);
  auto key = secrets_.externalKeys.find(apdu.p2);
  if (key == secrets_.externalKeys.end()) return Status(sw::kReferenceNotFound);
  if (key->second.triesLeft == 0) return Status(sw::kBlocked);
  if (!challenge_) return Status(sw::kChallengeMissing);
  const DesBlock expected = Encrypt3Des(key->second.value, *challenge_);
  challenge_.reset();
  if (std::ranges::equal(expected, apdu.data)) {
    key->second.triesLeft = key->second.maxTries;
    externallyAuthenticated_ = true;
    return Status(sw::kOk);
  }
  externallyAuthenticated_ = false;
  const int left = --key->second.triesLeft;
  return Status(left == 0 ? sw::kBlocked : WithLength(sw::kRetriesLeft, static_cast<size_t>(left)));
}

ResponseApdu CardCore::InternalAuthenticate(const CommandApdu& apdu) {
  if (apdu.p1 != 0) return Status(sw::kWrongP1P2);
  auto key = secrets_.internalKeys.find(apdu.p2);
  if (key == secrets_.internalKeys.end()) return Status(sw::kReferenceNotFound);
  if (apdu.data.size() != sizeof(DesBlock)) return Status(sw::kWrongLength);
  DesBlock block{};
  std::ranges::copy(apdu.data, block.begin());
  const DesBlock answer = Encrypt3Des(key->second, block);
  return {{answer.begin(), answer.end()}, sw::kOk};
}

ResponseApdu CardCore::GetResponse(const CommandApdu& apdu) {
  if (apdu.p1 != 0 || apdu.p2 != 0) return Status(sw::kWrongP1P2);
  if (waitingResponse_.empty()) return Status(sw::kConditionsNotSatisfied);
  if (!apdu.le || apdu.HasData()) return Status(sw::kWrongLength);
  size_t count = *apdu.le;
  if (count == kLongestAnswer) {
    count = std::min(waitingResponse_.size(), kLongestAnswer);
  } else if (count > waitingResponse_.size()) {
    return Status(WithLength(sw::kExactLength, waitingResponse_.size()));
  }
  const auto end = waitingResponse_.begin() + static_cast<std::ptrdiff_t>(count);
  ResponseApdu response{{waitingResponse_.begin(), end}, sw::kOk};
  waitingResponse_.erase(waitingResponse_.begin(), end);
  if (!waitingResponse_.empty()) {
    response.statusWord = WithLength(sw::kResponseWaiting, waitingResponse_.size());
  }
  return response;
}

}  // namespace vqsim
