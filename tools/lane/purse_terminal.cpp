#include "lane/purse_terminal.h"

#include <algorithm>
#include <stdexcept>

#include "sim/cards/purse/purse.h"

namespace vqlane::purse {

void Append(Bytes& out, std::span<const uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void AppendNumber(Bytes& out, uint32_t value, size_t size) {
  for (size_t i = size; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Number(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

PurchaseStart PurchaseStart::Parse(std::span<const uint8_t> answer) {
  if (answer.size() < kSize) throw std::invalid_argument("a short answer to INITIALIZE FOR PURCHASE");
  PurchaseStart start;
  start.balance = Number(answer.first(4));
  start.offlineCounter = static_cast<uint16_t>(Number(answer.subspan(4, 2)));
  start.keyVersion = answer[9];
  start.algorithm = answer[10];
  std::copy_n(answer.begin() + 11, 4, start.random.begin());
  return start;
}

Bytes InitializeData(uint32_t amount, const TerminalNumber& terminal) {
  Bytes data{vqsim::Purse::kKeyIndex};
  AppendNumber(data, amount, 4);
  Append(data, terminal);
  return data;
}

Bytes DiversificationData(std::span<const uint8_t> issuerFile) {
  Bytes data;
  Append(data, issuerFile.subspan(vqsim::IssuerFile::kDiversifyingSerialOffset, 8));
  Append(data, issuerFile.subspan(vqsim::IssuerFile::kIssuerIdOffset, 8));
  return data;
}

Bytes Mac1Data(const PurchaseStart& start, uint32_t amount, std::span<const uint8_t> issuerFile,
               const DateTime& when) {
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

Bytes DebitData(std::span<const uint8_t> psamAnswer, const DateTime& when) {
  Bytes data(psamAnswer.begin(), psamAnswer.begin() + 4);
  Append(data, when.date);
  Append(data, when.time);
  Append(data, psamAnswer.subspan(4, 4));
  return data;
}

Bytes PurchaseTacMessage(uint32_t amount, uint32_t terminalSerial, const DateTime& when,
                         const TerminalNumber& terminal) {
  Bytes message;
  AppendNumber(message, amount, 4);
  message.push_back(vqsim::purse::kPurchaseType);
  Append(message, terminal);
  AppendNumber(message, terminalSerial, 4);
  Append(message, when.date);
  Append(message, when.time);
  return message;
}

Bytes Apdu(Bytes header, std::span<const uint8_t> data, std::optional<uint8_t> le) {
  header.push_back(static_cast<uint8_t>(data.size()));
  Append(header, data);
  if (le) header.push_back(*le);
  return header;
}

}  // namespace vqlane::purse
