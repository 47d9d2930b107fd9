#pragma once
// Reader tests with a factory-fresh MIFARE Classic 1K card at hand.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "integration/reader_fixture.h"
#include "sim/cards/mifare/mifare_classic.h"

namespace vqtest {

using ByteVector = std::vector<uint8_t>;

class MifareTest : public ReaderTest {
 protected:
  static constexpr std::array<uint8_t, 4> kSerial{0x11, 0x22, 0x33, 0x44};
  static inline const ByteVector kFactoryKey = ByteVector(6, 0xFF);

  void InsertCard() { com1->reader.InsertCard(card); }

  // Opens the reader, puts the card in the field and activates it; the
  // frames so far are forgotten.
  void OpenCard() {
    OpenReader();
    InsertCard();
    uint8_t record[5];
    ASSERT_EQ(lib.opencard(record), 0);
    com1->reader.ClearReceived();
  }

  // The first `count` bytes the card stores in a block, read under the
  // reader's lock.
  ByteVector CardBlock(int block, size_t count = 16) {
    ByteVector bytes;
    com1->reader.WithState([&](vqsim::ReaderState&) {
      const auto& stored = card->RawBlock(block);
      bytes.assign(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(count));
    });
    return bytes;
  }
  void PokeBlock(int block, const ByteVector& bytes) {
    vqsim::MifareClassic::Block data{};
    std::copy(bytes.begin(), bytes.end(), data.begin());
    com1->reader.WithState([&](vqsim::ReaderState&) { card->PokeBlock(block, data); });
  }

  // The data of the command frames the reader received with that code.
  std::vector<ByteVector> DataOf(uint8_t command) const {
    std::vector<ByteVector> data;
    for (const auto& frame : com1->reader.ReceivedFrames()) {
      if (frame.command() == command) data.push_back(frame.data());
    }
    return data;
  }

  // The serial that loadkey names in its authentication: the current card's.
  ByteVector SerialNamedByLoadKey() {
    com1->reader.ClearReceived();
    lib.loadkey(0, 1, kFactoryKey.data());
    const std::vector<ByteVector> authentications = DataOf(0x50);
    if (authentications.empty()) return {};
    return ByteVector(authentications[0].begin(), authentications[0].begin() + 4);
  }

  std::shared_ptr<vqsim::MifareClassic> card = std::make_shared<vqsim::MifareClassic>(kSerial);
};

// "01 02" -> the bytes as a hex text without blanks, "0102".
inline std::string HexText(const ByteVector& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace vqtest
