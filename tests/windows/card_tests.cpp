// The MIFARE ONE exports against the card that lane_field.json puts in the
// lane reader's field: activation, keys, blocks, trailers, files, the
// card-kind rule and the reader's own commands give what the Linux library
// gives.

#include <cstring>
#include <string>

#include "harness.h"
#include "library.h"
#include "test_cases.h"

namespace wintest {

namespace {

// The card of lane_field.json.
constexpr char kCardRecord[] = "3A5F0C2108";  // serial, then SAK 08
// Sector 1: key A reads, key B writes.
const unsigned char kSector1KeyA[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
constexpr char kSector1KeyB[] = "B0B1B2B3B4B5";
constexpr char kBlock4[] = "4C414E45303720454E54525920202020";
constexpr char kBlock5[] = "323032362D31322D30382030353A3330";
constexpr char kBlock6[] = "0000000000000000000000000000000A";
// Sector 2: factory keys and access bits.
constexpr char kBlock8[] = "504C41544520412D3132333435202020";
// Sector 3, file 3: key A only is changed.
constexpr char kSector3KeyA[] = "C0C1C2C3C4C5";
constexpr char kBlock12[] = "00112233445566778899AABBCCDDEEFF";
constexpr char kBlock13[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F";

const unsigned char kFactoryKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const unsigned char kFactoryTrailer[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                                           0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::string Hex(const unsigned char* bytes, size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

void MifareCardIsActivatedAndItsKeysGuardTheBlocks(const Setup& setup) {
  Library library;
  auto opencard = VQHW_EXPORT(library, opencard);
  auto opencard_h = VQHW_EXPORT(library, opencard_h);
  auto loadkey = VQHW_EXPORT(library, loadkey);
  auto loadkey_h = VQHW_EXPORT(library, loadkey_h);
  auto readblock = VQHW_EXPORT(library, readblock);
  auto readblock_h = VQHW_EXPORT(library, readblock_h);
  auto writeblock = VQHW_EXPORT(library, writeblock);
  auto writeblock_h = VQHW_EXPORT(library, writeblock_h);
  auto close_reader = VQHW_EXPORT(library, close_reader);

  // An empty field: both attempts find nothing and the buffers stay as they were.
  if (!OpenReader(library, setup.reader)) return;
  unsigned char record[6] = {7, 7, 7, 7, 7, 0xEE};
  WT_CHECK_EQ(opencard(record), 1);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kNoCard));
  WT_CHECK_EQ(Hex(record, 6), std::string("0707070707EE"));
  char text[40] = "untouched";
  WT_CHECK_EQ(opencard_h(text), 1);
  WT_CHECK_EQ(std::string(text), std::string("untouched"));
  WT_CHECK_EQ(close_reader(), 0);

  if (!OpenReader(library, setup.laneReader)) return;
  WT_CHECK_EQ(opencard(record), 0);
  WT_CHECK_EQ(Hex(record, 6), std::string(kCardRecord) + "EE");
  std::memset(text, 'x', sizeof text);
  WT_CHECK_EQ(opencard_h(text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kCardRecord));
  WT_CHECK_EQ(text[11], 'x');

  WT_CHECK_EQ(loadkey(0, 1, kFactoryKey), -103);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kAuthenticationFailed));
  unsigned char block[17] = {};
  WT_CHECK_EQ(readblock(0, 4, block), -108);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kNotAuthenticated));

  WT_CHECK_EQ(loadkey(0, 1, kSector1KeyA), 0);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kSuccess));
  block[16] = 0xEE;
  WT_CHECK_EQ(readblock(0, 4, block), 0);
  WT_CHECK_EQ(Hex(block, 17), std::string(kBlock4) + "EE");
  std::memset(text, 'x', sizeof text);
  WT_CHECK_EQ(readblock_h(0, 5, text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kBlock5));
  WT_CHECK_EQ(text[33], 'x');
  const unsigned char data[16] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87,
                                  0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};
  WT_CHECK_EQ(writeblock(0, 6, data), -115);  // key A may only read this sector
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kCommandRefused));

  WT_CHECK_EQ(loadkey_h(1, 1, kSector1KeyB), 0);
  WT_CHECK_EQ(writeblock(0, 6, data), 0);
  WT_CHECK_EQ(readblock(0, 6, block), 0);
  WT_CHECK_EQ(Hex(block, 16), Hex(data, 16));
  WT_CHECK_EQ(writeblock_h(0, 6, kBlock6), 0);  // as the field file has it
  WT_CHECK_EQ(readblock_h(0, 6, text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kBlock6));
  WT_CHECK_EQ(readblock(0, 8, block), -108);  // another sector

  // Arguments out of range or missing are refused before anything is sent.
  WT_CHECK_EQ(readblock(0, 64, block), -1);
  WT_CHECK_EQ(loadkey(2, 1, kFactoryKey), -1);
  WT_CHECK_EQ(loadkey(0, 16, kFactoryKey), -2);
  WT_CHECK_EQ(writeblock(0, 4, nullptr), -3);
  WT_CHECK_EQ(readblock_h(0, 4, nullptr), -3);
  WT_CHECK_EQ(close_reader(), 0);
}

// Sector 2 gets new keys; only they open it until the factory trailer is
// written back, so the field is as the file has it for the cases after.
void NewSectorKeysOpenTheSectorAndTheOldOnesDoNot(const Setup& setup) {
  Library library;
  auto opencard = VQHW_EXPORT(library, opencard);
  auto loadkey = VQHW_EXPORT(library, loadkey);
  auto loadkey_h = VQHW_EXPORT(library, loadkey_h);
  auto readblock_h = VQHW_EXPORT(library, readblock_h);
  auto writekey = VQHW_EXPORT(library, writekey);
  auto writekey_h = VQHW_EXPORT(library, writekey_h);

  if (!OpenReader(library, setup.laneReader)) return;
  unsigned char record[5];
  char text[40] = {};
  WT_CHECK_EQ(opencard(record), 0);
  WT_CHECK_EQ(loadkey_h(0, 2, "FF FF FF FF FF FF"), 0);
  WT_CHECK_EQ(readblock_h(0, 8, text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kBlock8));
  WT_CHECK_EQ(writekey_h(0, 2, "D0D1D2D3D4D5 FF078069 E0E1E2E3E4E5"), 0);
  WT_CHECK_EQ(readblock_h(0, 11, text), 0);
  WT_CHECK_EQ(std::string(text), std::string("000000000000FF078069E0E1E2E3E4E5"));  // key A reads as zeros

  WT_CHECK_EQ(VQHW_EXPORT(library, closecard)(), 0);
  WT_CHECK_EQ(opencard(record), 0);
  WT_CHECK_EQ(loadkey(0, 2, kFactoryKey), -103);
  WT_CHECK_EQ(readblock_h(0, 8, text), -108);
  WT_CHECK_EQ(loadkey_h(0, 2, "D0D1D2D3D4D5"), 0);
  WT_CHECK_EQ(readblock_h(0, 8, text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kBlock8));

  WT_CHECK_EQ(writekey(0, 2, kFactoryTrailer), 0);
  WT_CHECK_EQ(loadkey(0, 2, kFactoryKey), 0);
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), 0);
}

// File 3 is the three data blocks of sector 3; key selector 3 ("30") is the
// key A that loadkey left in the reader for sector 3.
void CardFilesAreReadAndWritten(const Setup& setup) {
  Library library;
  auto readfile = VQHW_EXPORT(library, readfile);
  auto readfile_h = VQHW_EXPORT(library, readfile_h);
  auto writefile = VQHW_EXPORT(library, writefile);
  auto writefile_h = VQHW_EXPORT(library, writefile_h);

  if (!OpenReader(library, setup.laneReader)) return;
  unsigned char record[5];
  WT_CHECK_EQ(VQHW_EXPORT(library, opencard)(record), 0);
  WT_CHECK_EQ(VQHW_EXPORT(library, loadkey_h)(0, 3, kSector3KeyA), 0);

  unsigned char data[48] = {};
  data[16] = 0xEE;
  WT_CHECK_EQ(readfile("0003", "30", 0, 16, data), 0);
  WT_CHECK_EQ(Hex(data, 17), std::string(kBlock12) + "EE");
  char text[100];
  std::memset(text, 'x', sizeof text);
  WT_CHECK_EQ(readfile_h("0003", "30", 14, 4, text), 0);  // across two blocks
  WT_CHECK_EQ(std::string(text), std::string(kBlock12).substr(28) + std::string(kBlock13).substr(0, 4));

  const unsigned char bytes[3] = {0xC0, 0xC1, 0xC2};
  WT_CHECK_EQ(writefile("0003", "30", 32, 3, bytes), 0);
  WT_CHECK_EQ(writefile_h("0003", "30", 35, 2, "0A 0b"), 0);
  WT_CHECK_EQ(readfile_h("0003", "30", 30, 8, text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kBlock13).substr(28) + "C0C1C20A0B00");
  WT_CHECK_EQ(readfile("0003", "30", 0, 48, data), 0);
  WT_CHECK_EQ(Hex(data, 37), std::string(kBlock12) + kBlock13 + "C0C1C20A0B");

  // Refused before any file command goes out: a range past the file (after
  // the one retry with its pause), a text that is not hex, a missing buffer.
  const double start = NowMs();
  WT_CHECK_EQ(readfile("0003", "30", 40, 9, data), -4);
  WT_CHECK(NowMs() - start >= 100.0);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kArgument4));
  WT_CHECK_EQ(writefile_h("0003", "30", 0, 2, "0A0G"), -28);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kIllegalCharacters));
  WT_CHECK_EQ(readfile("0003", "30", 0, 4, nullptr), -5);
  WT_CHECK_EQ(writefile(nullptr, "30", 0, 3, bytes), -1);
  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), 0);
}

// The card-kind rule on real activations of both kinds of card, and the
// reader's own commands.
void CardKindRuleAndReaderControl(const Setup& setup) {
  Library library;
  auto SelectCardType = VQHW_EXPORT(library, SelectCardType);
  auto set_mmi = VQHW_EXPORT(library, set_mmi);
  auto closecard = VQHW_EXPORT(library, closecard);
  auto opencard_h = VQHW_EXPORT(library, opencard_h);
  auto readfile = VQHW_EXPORT(library, readfile);
  auto close_reader = VQHW_EXPORT(library, close_reader);

  WT_CHECK_EQ(SelectCardType('3'), -1);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kArgument1));
  if (!OpenReader(library, setup.laneReader)) return;
  WT_CHECK_EQ(set_mmi(0x83, 0, 0), -1);
  WT_CHECK_EQ(set_mmi(0, 0x84, 0), -2);
  WT_CHECK_EQ(set_mmi(0, 0, 0x180), -3);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kArgument3));
  WT_CHECK_EQ(set_mmi(0x80, 0x83, 0), 0);

  // CPU cards only: the MIFARE ONE card is activated, its file is read and
  // copied out, and the result is the refusal.
  WT_CHECK_EQ(SelectCardType('1'), 0);
  char text[40] = {};
  WT_CHECK_EQ(opencard_h(text), 0);
  WT_CHECK_EQ(std::string(text), std::string(kCardRecord));
  WT_CHECK_EQ(VQHW_EXPORT(library, loadkey_h)(0, 3, kSector3KeyA), 0);
  unsigned char data[4] = {};
  WT_CHECK_EQ(readfile("0003", "30", 0, 4, data), -27);
  WT_CHECK_EQ(Hex(data, 4), std::string(kBlock12).substr(0, 8));
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kOnlyMifarePro));
  WT_CHECK_EQ(SelectCardType('0'), 0);
  WT_CHECK_EQ(readfile("0003", "30", 4, 4, data), 0);
  WT_CHECK_EQ(Hex(data, 4), std::string(kBlock12).substr(8, 8));

  // The field reset ends the card's selection, and closecard pauses after it.
  double start = NowMs();
  WT_CHECK_EQ(closecard(), 0);
  WT_CHECK(NowMs() - start >= 100.0);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kSuccess));
  WT_CHECK_EQ(VQHW_EXPORT(library, loadkey_h)(0, 3, kSector3KeyA), 1);
  WT_CHECK_EQ(close_reader(), 0);
  WT_CHECK_EQ(closecard(), 0);
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kNotOpen));

  // MIFARE ONE cards only: the CPU card's APDU answers are withheld, the
  // PSAM's data-then-status form has no rule.
  if (!OpenReader(library, setup.cpuCardReader)) return;
  WT_CHECK_EQ(opencard_h(text), 0);
  WT_CHECK_EQ(std::string(text), std::string("5A0B1C2D20"));  // cpu_card_field.json, SAK 20
  char reply[64] = "untouched";
  char statusWord[8] = "SW";
  WT_CHECK_EQ(VQHW_EXPORT(library, pro_command_h)("0084000004", reply), -27);
  WT_CHECK_EQ(std::string(reply), std::string());
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kOnlyMifareOne));
  WT_CHECK_EQ(VQHW_EXPORT(library, PRO_COMMAND_H)("0084000004", reply, statusWord), -27);
  WT_CHECK_EQ(VQHW_EXPORT(library, SAM_COMMAND_H)("00B0960006", reply, statusWord), -27);
  WT_CHECK_EQ(std::string(statusWord), std::string());
  WT_CHECK_EQ(VQHW_EXPORT(library, sam_command_h)("00B0960006", reply), 0);
  WT_CHECK_EQ(std::string(reply), std::string("0000000000429000"));
  WT_CHECK_EQ(SelectCardType('2'), 0);
  WT_CHECK_EQ(VQHW_EXPORT(library, PRO_COMMAND_H)("0084000004", reply, statusWord), 0);
  WT_CHECK_EQ(std::string(statusWord), std::string("9000"));
  WT_CHECK_EQ(close_reader(), 0);
}

}  // namespace wintest
