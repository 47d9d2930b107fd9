// The cards' cipher against published known answers, as a program of its
// own so that it runs on both platforms: libcrypto natively (a ctest),
// CNG in vqhw_sim_cipher_test.exe under Wine (scripts/windows-tests.sh).
// Exits 0 when every answer matches; prints each that does not.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "sim/cards/iso7816/des3.h"
#include "sim/cards/purse/purse_crypto.h"

namespace {

using vqsim::DesBlock;
using vqsim::DesKey;
using vqsim::purse::SingleKey;

std::vector<uint8_t> Ascii(const std::string& text) { return {text.begin(), text.end()}; }

struct KnownAnswer {
  const char* source;
  std::function<DesBlock()> computed;
  DesBlock expected;
};

// NIST CAVP TDES multi-block message test, keying option 2 (TECBMMT2.rsp,
// [ENCRYPT] COUNT = 1): KEY1 259DF16E7AF804FE, KEY2 83B90E9BF7C7E557.
const DesKey kCavpKey{0x25, 0x9D, 0xF1, 0x6E, 0x7A, 0xF8, 0x04, 0xFE, 0x83, 0xB9, 0x0E, 0x9B, 0xF7, 0xC7, 0xE5, 0x57};
// NIST SP 800-20, Table A.1: TDEA with three equal keys 01..01, single DES.
const SingleKey kOnes{0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
// FIPS 81 and FIPS 113: key 0123456789ABCDEF.
const SingleKey kFips81{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

std::vector<uint8_t> Fips113Text() {
  std::vector<uint8_t> text = Ascii("7654321 Now is the time for ");
  text.resize(32, 0x00);
  return text;
}

const std::vector<KnownAnswer>& KnownAnswers() {
  using namespace vqsim::purse;
  static const std::vector<KnownAnswer> answers{
      {"CAVP TECBMMT2 COUNT 1, block 1",
       [] { return vqsim::Encrypt3Des(kCavpKey, {0xA4, 0x61, 0x9C, 0x43, 0x3B, 0xBD, 0x67, 0x87}); },
       {0x9E, 0x06, 0xDE, 0x15, 0x5C, 0x48, 0x3C, 0x6B}},
      {"CAVP TECBMMT2 COUNT 1, block 2",
       [] { return vqsim::Encrypt3Des(kCavpKey, {0xC0, 0x7C, 0x81, 0x72, 0x8F, 0x9A, 0xC9, 0xFA}); },
       {0xCF, 0xD8, 0x34, 0xDB, 0xC8, 0xBD, 0x58, 0x30}},
      {"SP 800-20 A.1, plaintext 80..", [] { return EncryptDes(kOnes, {0x80, 0, 0, 0, 0, 0, 0, 0}); },
       {0x95, 0xF8, 0xA5, 0xE5, 0xDD, 0x31, 0xD9, 0x00}},
      {"SP 800-20 A.1, plaintext 40..", [] { return EncryptDes(kOnes, {0x40, 0, 0, 0, 0, 0, 0, 0}); },
       {0xDD, 0x7F, 0x12, 0x1C, 0xA5, 0x01, 0x56, 0x19}},
      {"FIPS 81 ECB, first block", [] { return EncryptDes(kFips81, {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'}); },
       {0x3F, 0xA4, 0x0E, 0x8A, 0x98, 0x4D, 0x48, 0x15}},
      // ISO/IEC 9797-1 MAC algorithm 1 with DES, padding method 1.
      {"FIPS 113 MAC", [] { return CbcMacDes(kFips81, DesBlock{}, Fips113Text()); },
       {0xF1, 0xD3, 0x0F, 0x68, 0x49, 0x31, 0x2C, 0xA4}},
      {"ISO/IEC 9797-1 example (FIPS 81 CBC, last block)",
       [] { return CbcMacDes(kFips81, DesBlock{}, Ascii("Now is the time for all ")); },
       {0x70, 0xA3, 0x06, 0x40, 0xCC, 0x76, 0xDD, 0x8B}},
  };
  return answers;
}

std::string Hex(const DesBlock& block) {
  std::string text;
  char pair[3];
  for (uint8_t byte : block) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
  }
  return text;
}

// The purse MAC pads with 80 00 .. even whole blocks: one more block,
// chained from the published MAC of the three blocks.
bool PurseMacPadsAWholeBlock() {
  using namespace vqsim::purse;
  DesBlock padBlock{0x70, 0xA3, 0x06, 0x40, 0xCC, 0x76, 0xDD, 0x8B};
  padBlock[0] ^= 0x80;
  const DesBlock padded = EncryptDes(kFips81, padBlock);
  const vqsim::Mac mac = PurseMac(kFips81, Ascii("Now is the time for all "));
  return mac == vqsim::Mac{padded[0], padded[1], padded[2], padded[3]};
}

}  // namespace

int main() {
  int failed = 0;
  for (const KnownAnswer& answer : KnownAnswers()) {
    const DesBlock computed = answer.computed();
    if (computed != answer.expected) {
      std::printf("FAILED %s: expected %s, computed %s\n", answer.source, Hex(answer.expected).c_str(),
                  Hex(computed).c_str());
      ++failed;
    }
  }
  if (!PurseMacPadsAWholeBlock()) {
    std::printf("FAILED the purse MAC does not pad a whole block with 80 00 ..\n");
    ++failed;
  }
  std::printf("%zu known answers, %d failed\n", KnownAnswers().size() + 1, failed);
  return failed == 0 ? 0 : 1;
}
