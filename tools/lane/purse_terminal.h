#pragma once
// The terminal's side of a purse purchase, as bytes: what a lane program
// builds from the card's and the PSAM's answers (the demo's purchase, and
// the purse tests at every level).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/cards/purse/purse_crypto.h"

namespace vqlane::purse {

using Bytes = std::vector<uint8_t>;
using vqsim::purse::DateTime;
using vqsim::purse::TerminalNumber;

void Append(Bytes& out, std::span<const uint8_t> bytes);
void AppendNumber(Bytes& out, uint32_t value, size_t size);  // big-endian, `size` bytes
uint32_t Number(std::span<const uint8_t> bytes);             // big-endian

// What INITIALIZE FOR PURCHASE answers (15 bytes).
struct PurchaseStart {
  static constexpr size_t kSize = 15;
  uint32_t balance = 0;
  uint16_t offlineCounter = 0;
  uint8_t keyVersion = 0;
  uint8_t algorithm = 0;
  std::array<uint8_t, 4> random{};

  // Throws std::invalid_argument when the answer is short.
  static PurchaseStart Parse(std::span<const uint8_t> answer);
};

// Key index, the amount, the terminal number: INITIALIZE FOR PURCHASE or LOAD.
Bytes InitializeData(uint32_t amount, const TerminalNumber& terminal);
// The application serial number's last 8 bytes and the issuer identifier.
Bytes DiversificationData(std::span<const uint8_t> issuerFile);
// The 36 bytes of the PSAM's MAC1 command.
Bytes Mac1Data(const PurchaseStart& start, uint32_t amount, std::span<const uint8_t> issuerFile,
               const DateTime& when);
// DEBIT FOR PURCHASE's 15 bytes from the PSAM's MAC1 answer (terminal serial, MAC1).
Bytes DebitData(std::span<const uint8_t> psamAnswer, const DateTime& when);
// What the TAC of a purchase covers, for the PSAM's MAC command.
Bytes PurchaseTacMessage(uint32_t amount, uint32_t terminalSerial, const DateTime& when,
                         const TerminalNumber& terminal);
// A case 3 or 4 command APDU: the header, Lc, the data, Le when given.
Bytes Apdu(Bytes header, std::span<const uint8_t> data, std::optional<uint8_t> le = std::nullopt);

}  // namespace vqlane::purse
