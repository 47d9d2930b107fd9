#include "vqhw/access_text.h"

#include <array>

#include "shared/mifare_access.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

using vqshared::mifare::Allows;
using vqshared::mifare::Condition;
using vqshared::mifare::DataRight;
using vqshared::mifare::KeyType;
using vqshared::mifare::TrailerRight;

template <typename Right>
std::string WhoMay(Condition condition, Right right) {
  const bool a = Allows(condition, right, KeyType::A);
  const bool b = Allows(condition, right, KeyType::B);
  if (a && b) return "A|B";
  if (a) return "A";
  if (b) return "B";
  return "never";
}

std::string Bits(Condition condition) {
  return {static_cast<char>('0' + (condition >> 2 & 1)), static_cast<char>('0' + (condition >> 1 & 1)),
          static_cast<char>('0' + (condition & 1))};
}

template <typename Right, size_t N>
nlohmann::json Rights(Condition condition, const std::array<std::pair<const char*, Right>, N>& rights,
                      std::string& text) {
  nlohmann::json json = nlohmann::json::object();
  for (const auto& [name, right] : rights) {
    const std::string who = WhoMay(condition, right);
    json[name] = who;
    text += std::string("  ") + name + " " + who;
  }
  return json;
}

constexpr std::array<std::pair<const char*, DataRight>, 4> kDataRights{{
    {"read", DataRight::Read},
    {"write", DataRight::Write},
    {"increment", DataRight::Increment},
    {"decrement", DataRight::DecrementTransferRestore},
}};

constexpr std::array<std::pair<const char*, TrailerRight>, 5> kTrailerRights{{
    {"write_key_a", TrailerRight::WriteKeyA},
    {"read_access", TrailerRight::ReadAccessBits},
    {"write_access", TrailerRight::WriteAccessBits},
    {"read_key_b", TrailerRight::ReadKeyB},
    {"write_key_b", TrailerRight::WriteKeyB},
}};

}  // namespace

AccessDescription DescribeAccessBits(std::span<const uint8_t, 4> bytes) {
  AccessDescription description;
  const auto conditions = vqshared::mifare::DecodeAccessBits(bytes.first<3>());
  description.consistent = conditions.has_value();
  description.json = {{"bytes", CompactHex(bytes)}, {"consistent", description.consistent}};
  if (!conditions) {
    description.lines.push_back("access bits " + Hex(bytes) +
                                ": bits and inverses disagree, the card blocks this sector");
    return description;
  }
  description.lines.push_back("access bits " + Hex(bytes));
  for (int block = 0; block < 4; ++block) {
    const Condition condition = (*conditions)[block];
    const bool trailer = block == 3;
    std::string text = (trailer ? std::string("trailer") : "block " + std::to_string(block)) +
                       ": C1C2C3 " + Bits(condition);
    nlohmann::json rights = trailer ? Rights(condition, kTrailerRights, text)
                                    : Rights(condition, kDataRights, text);
    description.json["blocks"].push_back(
        {{"block", block}, {"conditions", Bits(condition)}, {"rights", rights}});
    description.lines.push_back(text);
  }
  return description;
}

}  // namespace vqtool
