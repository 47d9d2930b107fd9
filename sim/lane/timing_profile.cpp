#include "sim/lane/timing_profile.h"

#include <algorithm>

namespace vqsim {

namespace {

using std::chrono::duration_cast;
using std::chrono::nanoseconds;

// ISO/IEC 14443 type A at 106 kbit/s: 9 bits of 128/fc a byte, start and
// end of a frame, and the frame delay time between the two sides.
constexpr double kRfByteUs = 9 * 128 / 13.56;  // 84.96
constexpr double kRfFrameExtraUs = 28;
constexpr double kFrameDelayUs = 1172 / 13.56;  // 86.4
constexpr double kAckUs = 59;
constexpr double kProgrammingUs = 3500;

Micros Us(double us) { return Micros(static_cast<int64_t>(us + 0.5)); }
double RfFrameUs(size_t bytes) { return static_cast<double>(bytes) * kRfByteUs + kRfFrameExtraUs; }
// The reader's frame, then the card's after one frame delay time.
double RfExchangeUs(size_t sent, size_t answered) { return RfFrameUs(sent) + kFrameDelayUs + RfFrameUs(answered); }

const double kAuthenticateUs = RfExchangeUs(4, 4) + kFrameDelayUs + RfExchangeUs(8, 4);
const double kReadUs = RfExchangeUs(4, 18);
// Part one (command, ACK), part two (data, programming, ACK).
const double kWriteUs = RfFrameUs(4) + kFrameDelayUs + kAckUs + kFrameDelayUs + RfFrameUs(18) + kProgrammingUs + kAckUs;
// Part one (command, ACK), part two (operand; no ACK: the reader waits
// 1 ms), TRANSFER (command, programming, ACK).
const double kValueUs = RfFrameUs(4) + kFrameDelayUs + kAckUs + kFrameDelayUs + RfFrameUs(6) + 1000 + RfFrameUs(4) +
                        kProgrammingUs + kAckUs;
const double kRequestUs = 7 * 128 / 13.56 + kFrameDelayUs + RfFrameUs(2);  // a 7-bit short frame, ATQA
const double kAnticollisionUs = RfExchangeUs(2, 5);
const double kSelectUs = RfExchangeUs(9, 3);
const double kHaltUs = RfFrameUs(4) + 1000;  // no answer: the reader waits 1 ms
// RATS and the answer to select of a CPU card after its activation.
const double kCpuResetUs = kRequestUs + kAnticollisionUs + kSelectUs + RfExchangeUs(4, 12);
// The field off and on again: at least 5 ms off.
constexpr double kFieldResetUs = 5000 + 2500;

constexpr uint8_t kFileReadCode = 0x81;
constexpr uint8_t kFileWriteCode = 0x82;
constexpr uint8_t kUserCardApdu = 0x60;
constexpr uint8_t kPsamApdu = 0x61;
constexpr uint8_t kPsamReset = 0x73;
constexpr size_t kPsamAnswerToReset = 8;
constexpr int kEtuPerCharacter = 12;
constexpr size_t kBlockSize = 16;

// The blocks of a card file that `offset` and `length` touch (at least one).
size_t FileBlocks(std::span<const uint8_t> request) {
  if (request.size() < 4) return 1;
  const size_t offset = request[2], length = request[3];
  const size_t first = offset / kBlockSize, last = (offset + std::max<size_t>(length, 1) - 1) / kBlockSize;
  return std::clamp<size_t>(last - first + 1, 1, 3);
}

template <typename Value>
const Value* Find(const std::map<uint8_t, Value>& table, std::span<const uint8_t> apdu) {
  if (apdu.size() < 2) return nullptr;
  const auto it = table.find(apdu[1]);
  return it == table.end() ? nullptr : &it->second;
}

}  // namespace

nanoseconds ByteTime(uint32_t baud) { return nanoseconds(10'000'000'000LL / std::max<uint32_t>(baud, 1)); }

TimingProfile TimingProfile::Real() {
  TimingProfile profile;
  profile.wire = true;
  profile.commands = {
      {0x40, Us(kRequestUs)},        {0x41, Us(kAnticollisionUs)},
      {0x42, Us(kSelectUs)},         {0x58, Us(kHaltUs)},
      {0x80, Us(kRequestUs + kAnticollisionUs + kSelectUs)},
      {0x50, Us(kAuthenticateUs)},   {0x51, Us(kReadUs)},
      {0x52, Us(kWriteUs)},          {0x53, Us(kValueUs)},
      {0x54, Us(kValueUs)},          {0x55, Us(kValueUs)},
      {0x83, Us(kAuthenticateUs)},   {0x72, Us(kFieldResetUs)},
      {0x76, Us(kCpuResetUs)},
  };
  // Typical times of a purse card: files and selection in a few
  // milliseconds, the purse commands with their session keys, MACs and
  // EEPROM writes in tens.
  profile.cpuCardInstructions = {
      {0xA4, Micros(3000)},   // SELECT
      {0xB0, Micros(2000)},   // READ BINARY
      {0xB2, Micros(2000)},   // READ RECORD
      {0x5C, Micros(2000)},   // GET BALANCE
      {0x50, Micros(12000)},  // INITIALIZE FOR PURCHASE / LOAD: session key
      {0x54, Micros(30000)},  // DEBIT FOR PURCHASE: MAC1, balance and record written, TAC, MAC2
      {0x52, Micros(30000)},  // CREDIT FOR LOAD
  };
  profile.cpuCardDefault = Micros(2000);
  profile.psamDesOperations = {
      {0x70, 13},  // MAC1: card key diversified (6), session key (3), MAC (4)
      {0x72, 2},   // MAC2 check
      {0x1A, 6},   // key diversification for a following cipher or MAC
      {0xFA, 4},   // cipher or MAC of the data
  };
  profile.psamDesOperation = Micros(2000);
  profile.psamInstruction = Micros(1000);
  return profile;
}

TimingProfile TimingProfile::Instant() { return TimingProfile{}; }

Micros TimingProfile::CardTime(uint8_t command, std::span<const uint8_t> request,
                               std::span<const uint8_t> answer) const {
  switch (command) {
    case kUserCardApdu: {
      if (const Micros* whole = Find(cpuCardOverrides, request)) return *whole;
      if (!wire) return Micros(0);
      const Micros* processing = Find(cpuCardInstructions, request);
      // An I-block each way: PCB, the APDU, CRC.
      return Us(RfExchangeUs(request.size() + 3, answer.size() + 3)) + (processing ? *processing : cpuCardDefault);
    }
    case kPsamApdu: {
      if (const Micros* whole = Find(psamOverrides, request)) return *whole;
      if (!wire) return Micros(0);
      // T=0: a procedure byte before command data and before answer data.
      const size_t characters = request.size() + (request.size() > 5 ? 1 : 0) + answer.size() + (answer.size() > 2 ? 1 : 0);
      const int* des = Find(psamDesOperations, request);
      return Us(1e6 * kEtuPerCharacter * static_cast<double>(characters) / psamBaud) + psamInstruction +
             (des ? *des : 0) * psamDesOperation;
    }
    case kPsamReset:
      if (const auto it = commands.find(command); it != commands.end()) return it->second;
      if (!wire) return Micros(0);
      return Us(1e6 * kEtuPerCharacter * kPsamAnswerToReset / psamBaud) + psamInstruction;
    case kFileReadCode:
    case kFileWriteCode: {
      if (const auto it = commands.find(command); it != commands.end()) return it->second;
      if (!wire) return Micros(0);
      return Us(kAuthenticateUs + static_cast<double>(FileBlocks(request)) * (command == kFileReadCode ? kReadUs : kWriteUs));
    }
    default: {
      const auto it = commands.find(command);
      return it == commands.end() ? Micros(0) : it->second;
    }
  }
}

nanoseconds TimingProfile::LineTime(size_t bytes, uint32_t baud) const {
  return wire ? static_cast<int64_t>(bytes) * ByteTime(baud) : nanoseconds(0);
}

}  // namespace vqsim
