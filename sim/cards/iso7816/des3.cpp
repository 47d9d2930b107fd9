#include "sim/cards/iso7816/des3.h"

#include <vector>

namespace vqsim {

Mac Mac3Des(const DesKey& key, const DesBlock& initialValue, std::span<const uint8_t> data) {
  std::vector<uint8_t> padded(data.begin(), data.end());
  padded.push_back(0x80);
  while (padded.size() % sizeof(DesBlock) != 0) padded.push_back(0x00);
  DesBlock chain = initialValue;
  for (size_t offset = 0; offset < padded.size(); offset += sizeof(DesBlock)) {
    for (size_t i = 0; i < chain.size(); ++i) chain[i] ^= padded[offset + i];
    chain = Encrypt3Des(key, chain);
  }
  return {chain[0], chain[1], chain[2], chain[3]};
}

}  // namespace vqsim
