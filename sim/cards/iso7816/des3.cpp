#include "sim/cards/iso7816/des3.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace vqsim {

DesBlock Encrypt3Des(const DesKey& key, const DesBlock& block) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                         &EVP_CIPHER_CTX_free);
  DesBlock out{};
  int written = 0;
  if (!context || EVP_EncryptInit_ex(context.get(), EVP_des_ede_ecb(), nullptr, key.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1 ||
      EVP_EncryptUpdate(context.get(), out.data(), &written, block.data(), static_cast<int>(block.size())) != 1 ||
      written != static_cast<int>(out.size())) {
    throw std::runtime_error("triple DES is not available");
  }
  return out;
}

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
