// Triple DES from libcrypto, the system's cryptography on Linux.

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "sim/cards/iso7816/des3.h"

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

}  // namespace vqsim
