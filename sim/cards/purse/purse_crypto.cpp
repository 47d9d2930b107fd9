#include "sim/cards/purse/purse_crypto.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vqsim::purse {

namespace {

using Message = std::vector<uint8_t>;

void Append(Message& message, std::span<const uint8_t> bytes) {
  message.insert(message.end(), bytes.begin(), bytes.end());
}

// Most significant byte first, the last `size` bytes of `value`.
void AppendNumber(Message& message, uint32_t value, size_t size) {
  for (size_t i = size; i-- > 0;) message.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void AppendDateTime(Message& message, const DateTime& when) {
  Append(message, when.date);
  Append(message, when.time);
}

// The part of a transaction that MAC1 of a purchase and MAC2 of a load
// cover alike: amount, type, terminal number.
Message AmountTypeTerminal(uint32_t amount, uint8_t type, const TerminalNumber& terminal) {
  Message message;
  AppendNumber(message, amount, 4);
  message.push_back(type);
  Append(message, terminal);
  return message;
}

DesBlock ToBlock(std::span<const uint8_t> eight) {
  DesBlock block{};
  std::ranges::copy(eight, block.begin());
  return block;
}

}  // namespace

DesBlock EncryptDes(const SingleKey& key, const DesBlock& block) {
  DesKey doubled{};
  std::ranges::copy(key, doubled.begin());
  std::ranges::copy(key, doubled.begin() + sizeof(SingleKey));
  return Encrypt3Des(doubled, block);
}

DesBlock CbcMacDes(const SingleKey& key, const DesBlock& initialValue, std::span<const uint8_t> blocks) {
  if (blocks.empty() || blocks.size() % sizeof(DesBlock) != 0) {
    throw std::invalid_argument("CBC MAC over a partial block");
  }
  DesBlock chain = initialValue;
  for (size_t offset = 0; offset < blocks.size(); offset += sizeof(DesBlock)) {
    for (size_t i = 0; i < chain.size(); ++i) chain[i] ^= blocks[offset + i];
    chain = EncryptDes(key, chain);
  }
  return chain;
}

Mac PurseMac(const SingleKey& key, std::span<const uint8_t> data) {
  Message padded(data.begin(), data.end());
  padded.push_back(0x80);
  while (padded.size() % sizeof(DesBlock) != 0) padded.push_back(0x00);
  const DesBlock last = CbcMacDes(key, DesBlock{}, padded);
  return {last[0], last[1], last[2], last[3]};
}

DesKey Diversify(const DesKey& master, const DesBlock& data) {
  DesBlock complement = data;
  for (uint8_t& byte : complement) byte = static_cast<uint8_t>(~byte);
  const DesBlock left = Encrypt3Des(master, data);
  const DesBlock right = Encrypt3Des(master, complement);
  DesKey key{};
  std::ranges::copy(left, key.begin());
  std::ranges::copy(right, key.begin() + sizeof(DesBlock));
  return key;
}

PurseKeys CardKeys(const PurseKeys& master, const IssuerId& issuer, const ApplicationSerial& serial) {
  const auto cardKey = [&](const DesKey& masterKey) {
    return Diversify(Diversify(masterKey, ToBlock(issuer)), ToBlock(serial));
  };
  return {cardKey(master.purchase), cardKey(master.load), cardKey(master.tac)};
}

SingleKey FoldTacKey(const DesKey& tacKey) {
  SingleKey folded{};
  for (size_t i = 0; i < folded.size(); ++i) folded[i] = tacKey[i] ^ tacKey[i + sizeof(SingleKey)];
  return folded;
}

SingleKey PurchaseSessionKey(const DesKey& purchaseKey, const CardRandom& random, uint16_t offlineSerial,
                             uint32_t terminalSerial) {
  Message input(random.begin(), random.end());
  AppendNumber(input, offlineSerial, 2);
  AppendNumber(input, terminalSerial, 2);  // its two low bytes
  return Encrypt3Des(purchaseKey, ToBlock(input));
}

Mac PurchaseMac1(const SingleKey& session, const PurchaseTerms& terms) {
  Message message = AmountTypeTerminal(terms.amount, kPurchaseType, terms.terminal);
  AppendDateTime(message, terms.when);
  return PurseMac(session, message);
}

Mac PurchaseMac2(const SingleKey& session, uint32_t amount) {
  Message message;
  AppendNumber(message, amount, 4);
  return PurseMac(session, message);
}

Mac PurchaseTac(const DesKey& tacKey, const PurchaseTerms& terms) {
  Message message = AmountTypeTerminal(terms.amount, kPurchaseType, terms.terminal);
  AppendNumber(message, terms.terminalSerial, 4);
  AppendDateTime(message, terms.when);
  return PurseMac(FoldTacKey(tacKey), message);
}

SingleKey LoadSessionKey(const DesKey& loadKey, const CardRandom& random, uint16_t onlineSerial) {
  Message input(random.begin(), random.end());
  AppendNumber(input, onlineSerial, 2);
  input.insert(input.end(), {0x80, 0x00});
  return Encrypt3Des(loadKey, ToBlock(input));
}

Mac LoadMac1(const SingleKey& session, uint32_t oldBalance, const LoadTerms& terms) {
  Message message;
  AppendNumber(message, oldBalance, 4);
  Append(message, AmountTypeTerminal(terms.amount, kLoadType, terms.terminal));
  return PurseMac(session, message);
}

Mac LoadMac2(const SingleKey& session, const LoadTerms& terms) {
  Message message = AmountTypeTerminal(terms.amount, kLoadType, terms.terminal);
  AppendDateTime(message, terms.when);
  return PurseMac(session, message);
}

Mac LoadTac(const DesKey& tacKey, uint32_t newBalance, uint16_t onlineSerial, const LoadTerms& terms) {
  Message message;
  AppendNumber(message, newBalance, 4);
  AppendNumber(message, onlineSerial, 2);
  Append(message, AmountTypeTerminal(terms.amount, kLoadType, terms.terminal));
  AppendDateTime(message, terms.when);
  return PurseMac(FoldTacKey(tacKey), message);
}

}  // namespace vqsim::purse
