#pragma once
// The terminal's side of a purse purchase, as bytes: what a lane program
// builds from the card's and the PSAM's answers. Shared by the purse tests
// at every level (card models, catalogue operations, text exports).

#include <array>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/purse.h"
#include "sim/purse_crypto.h"

namespace vqtest::purse {

using Bytes = std::vector<uint8_t>;
using vqsim::purse::DateTime;
using vqsim::purse::TerminalNumber;

inline const DateTime kWhen{{0x20, 0x26, 0x12, 0x08}, {0x09, 0x30, 0x15}};
inline const TerminalNumber kPsamTerminal{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // the default PSAM's EF 0016

inline void Append(Bytes& out, std::span<const uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

inline void AppendNumber(Bytes& out, uint32_t value, size_t size) {
  for (size_t i = size; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline uint32_t Number(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

inline std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

// Two hexadecimal digits a byte, nothing between them.
inline Bytes FromHex(const std::string& text) {
  if (text.size() % 2 != 0) throw std::invalid_argument("an odd number of hex digits");
  Bytes bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// What INITIALIZE FOR PURCHASE answers (15 bytes).
struct PurchaseStart {
  uint32_t balance = 0;
  uint16_t offlineCounter = 0;
  uint8_t keyVersion = 0;
  uint8_t algorithm = 0;
  std::array<uint8_t, 4> random{};

  static PurchaseStart Parse(std::span<const uint8_t> answer) {
    if (answer.size() < 15) throw std::invalid_argument("a short answer to INITIALIZE FOR PURCHASE");
    PurchaseStart start;
    start.balance = Number(answer.first(4));
    start.offlineCounter = static_cast<uint16_t>(Number(answer.subspan(4, 2)));
    start.keyVersion = answer[9];
    start.algorithm = answer[10];
    std::copy_n(answer.begin() + 11, 4, start.random.begin());
    return start;
  }
};

// Key index 01, the amount, the terminal number: INITIALIZE FOR PURCHASE or LOAD.
inline Bytes InitializeData(uint32_t amount, const TerminalNumber& terminal = kPsamTerminal) {
  Bytes data{vqsim::Purse::kKeyIndex};
  AppendNumber(data, amount, 4);
  Append(data, terminal);
  return data;
}

// The application serial number's last 8 bytes and the issuer identifier,
// from the card's issuer file.
inline Bytes DiversificationData(std::span<const uint8_t> issuerFile) {
  Bytes data;
  Append(data, issuerFile.subspan(vqsim::IssuerFile::kDiversifyingSerialOffset, 8));
  Append(data, issuerFile.subspan(vqsim::IssuerFile::kIssuerIdOffset, 8));
  return data;
}

// The 36 bytes of the PSAM's MAC1 command.
inline Bytes Mac1Data(const PurchaseStart& start, uint32_t amount, std::span<const uint8_t> issuerFile,
                      const DateTime& when = kWhen) {
  Bytes data(start.random.begin(), start.random.end());
  AppendNumber(data, start.offlineCounter, 2);
  AppendNumber(data, amount, 4);
  data.push_back(vqsim::purse::kPurchaseType);
  Append(data, when.date);
  Append(data, when.time);
  data.push_back(start.keyVersion);
  data.push_back(start.algorithm);
  Append(data, DiversificationData(issuerFile));
  return data;
}

// DEBIT FOR PURCHASE's 15 bytes from the PSAM's answer (terminal serial, MAC1).
inline Bytes DebitData(std::span<const uint8_t> psamAnswer, const DateTime& when = kWhen) {
  Bytes data(psamAnswer.begin(), psamAnswer.begin() + 4);
  Append(data, when.date);
  Append(data, when.time);
  Append(data, psamAnswer.subspan(4, 4));
  return data;
}

// What the TAC of a purchase covers, for the PSAM's MAC command.
inline Bytes PurchaseTacMessage(uint32_t amount, uint32_t terminalSerial, const DateTime& when = kWhen,
                                const TerminalNumber& terminal = kPsamTerminal) {
  Bytes message;
  AppendNumber(message, amount, 4);
  message.push_back(vqsim::purse::kPurchaseType);
  Append(message, terminal);
  AppendNumber(message, terminalSerial, 4);
  Append(message, when.date);
  Append(message, when.time);
  return message;
}

inline Bytes Apdu(Bytes header, std::span<const uint8_t> data, std::optional<uint8_t> le = std::nullopt) {
  header.push_back(static_cast<uint8_t>(data.size()));
  Append(header, data);
  if (le) header.push_back(*le);
  return header;
}

}  // namespace vqtest::purse
