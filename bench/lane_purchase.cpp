#include "lane_purchase.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "lane/purse_terminal.h"
#include "shared/hex_text.h"

namespace vqbench {

namespace {

namespace purse = vqlane::purse;

std::vector<uint8_t> Apdu(bool psam, const std::string& command, int& exchanges) {
  char data[600] = {}, sw[8] = {};
  ++exchanges;
  const int32_t result = psam ? SAM_COMMAND_H(command.c_str(), data, sw) : PRO_COMMAND_H(command.c_str(), data, sw);
  if (result != 0 || std::string(sw) != "9000") {
    std::fprintf(stderr, "%s -> %d, SW %s\n", command.c_str(), result, sw);
    exchanges = -exchanges;
    return {};
  }
  return vqshared::DecodeHex(data).value_or(std::vector<uint8_t>{});
}

}  // namespace

int Purchase(uint32_t amount) {
  if (SAM_reset_h() != 0) return -1;
  unsigned char record[5] = {};
  if (opencard(record) != 0) return -2;
  int n = 2;
  const purse::DateTime when{{0x20, 0x26, 0x12, 0x08}, {0x09, 0x30, 0x15}};
  Apdu(false, "00A4040006A00000099901", n);
  const std::vector<uint8_t> issuer = Apdu(false, "00B0950000", n);
  const std::vector<uint8_t> number = Apdu(true, "00B0960006", n);
  Apdu(true, "00A40000021001", n);
  if (n < 0 || issuer.size() < 30 || number.size() < 6) return -std::abs(n);
  purse::TerminalNumber terminal{};
  std::copy_n(number.begin(), 6, terminal.begin());
  const std::vector<uint8_t> answer =
      Apdu(false, "805001020B" + vqshared::EncodeHex(purse::InitializeData(amount, terminal)) + "0F", n);
  if (n < 0 || answer.size() < purse::PurchaseStart::kSize) return -std::abs(n);
  const purse::PurchaseStart start = purse::PurchaseStart::Parse(answer);
  const std::vector<uint8_t> mac1 =
      Apdu(true, "8070000024" + vqshared::EncodeHex(purse::Mac1Data(start, amount, issuer, when)) + "08", n);
  if (n < 0 || mac1.size() < 8) return -std::abs(n);
  const std::vector<uint8_t> proof =
      Apdu(false, "805401000F" + vqshared::EncodeHex(purse::DebitData(mac1, when)) + "08", n);
  if (n < 0 || proof.size() < 8) return -std::abs(n);
  Apdu(true, "8072000004" + vqshared::EncodeHex(std::span(proof).subspan(4, 4)), n);
  return n;
}

}  // namespace vqbench
