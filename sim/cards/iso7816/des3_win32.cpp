// Triple DES from CNG (bcrypt.dll), the system's cryptography on Windows.
// The two-key form is the three-key one with K1 K2 K1; one block in CBC
// from a zero chain value is that block in ECB, the mode Wine's CNG lacks.

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <stdexcept>

#include "sim/cards/iso7816/des3.h"

namespace vqsim {

namespace {

// The provider, opened once for the process and set to CBC.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (BCryptOpenAlgorithmProvider(&opened, BCRYPT_3DES_ALGORITHM, nullptr, 0) != 0) return BCRYPT_ALG_HANDLE{};
    const wchar_t* mode = BCRYPT_CHAIN_MODE_CBC;
    if (BCryptSetProperty(opened, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                          sizeof(BCRYPT_CHAIN_MODE_CBC), 0) != 0) {
      BCryptCloseAlgorithmProvider(opened, 0);
      return BCRYPT_ALG_HANDLE{};
    }
    return opened;
  }();
  if (provider == nullptr) throw std::runtime_error("triple DES is not available");
  return provider;
}

}  // namespace

DesBlock Encrypt3Des(const DesKey& key, const DesBlock& block) {
  std::array<UCHAR, 24> threeKeys{};
  std::copy(key.begin(), key.end(), threeKeys.begin());
  std::copy(key.begin(), key.begin() + 8, threeKeys.begin() + 16);
  BCRYPT_KEY_HANDLE handle = nullptr;
  if (BCryptGenerateSymmetricKey(Provider(), &handle, nullptr, 0, threeKeys.data(), threeKeys.size(), 0) != 0) {
    throw std::runtime_error("triple DES is not available");
  }
  DesBlock in = block;
  DesBlock out{};
  std::array<UCHAR, 8> chain{};
  ULONG written = 0;
  const NTSTATUS status = BCryptEncrypt(handle, in.data(), in.size(), nullptr, chain.data(), chain.size(),
                                        out.data(), out.size(), &written, 0);
  BCryptDestroyKey(handle);
  if (status != 0 || written != out.size()) throw std::runtime_error("triple DES is not available");
  return out;
}

}  // namespace vqsim
