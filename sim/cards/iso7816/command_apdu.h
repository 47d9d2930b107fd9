#pragma once
// A command APDU as a card reads it (short lengths only): the header, the
// command data and the expected length, which for P3 = 00 is 256.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vqsim {

struct CommandApdu {
  uint8_t cla = 0;
  uint8_t ins = 0;
  uint8_t p1 = 0;
  uint8_t p2 = 0;
  std::vector<uint8_t> data;
  std::optional<size_t> le;

  // The four cases of ISO/IEC 7816-3; none for a length that fits no case.
  static std::optional<CommandApdu> Parse(std::span<const uint8_t> bytes);
  bool HasData() const { return !data.empty(); }
};

// What a card answers: response data and the status word.
struct ResponseApdu {
  std::vector<uint8_t> data;
  uint16_t statusWord = 0x9000;

  std::vector<uint8_t> Bytes() const;
};

// Status words the cards answer with.
namespace sw {
inline constexpr uint16_t kOk = 0x9000;
inline constexpr uint16_t kWrongLength = 0x6700;
inline constexpr uint16_t kIncompatibleFile = 0x6981;    // command not for this file structure
inline constexpr uint16_t kSecurityNotSatisfied = 0x6982;
inline constexpr uint16_t kBlocked = 0x6983;             // PIN or key blocked
inline constexpr uint16_t kChallengeMissing = 0x6984;    // no challenge to answer
inline constexpr uint16_t kConditionsNotSatisfied = 0x6985;
inline constexpr uint16_t kNoCurrentEf = 0x6986;
inline constexpr uint16_t kSecureMessagingMissing = 0x6987;
inline constexpr uint16_t kWrongMac = 0x6988;
inline constexpr uint16_t kFileNotFound = 0x6A82;
inline constexpr uint16_t kRecordNotFound = 0x6A83;
inline constexpr uint16_t kWrongP1P2 = 0x6A86;
inline constexpr uint16_t kReferenceNotFound = 0x6A88;
inline constexpr uint16_t kWrongOffset = 0x6B00;
inline constexpr uint16_t kUnknownInstruction = 0x6D00;
inline constexpr uint16_t kUnknownClass = 0x6E00;
inline constexpr uint16_t kRetriesLeft = 0x63C0;         // | tries left
inline constexpr uint16_t kExactLength = 0x6C00;         // | the length to ask for
inline constexpr uint16_t kResponseWaiting = 0x6100;     // | bytes waiting for GET RESPONSE
}  // namespace sw

}  // namespace vqsim
