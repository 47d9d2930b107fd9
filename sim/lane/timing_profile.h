#pragma once
// How long the reader's line and its cards take: the byte time of the host
// line, and per command the time the card (or the PSAM on its contacts)
// needs before the reader can answer. `Real()` holds the defaults below;
// `Instant()` takes no time at all, for tests where time does not matter.
//
// Where the defaults come from:
// - Host line: 10 bit times a byte (start bit, 8 data bits, stop bit).
// - MIFARE Classic 1K (its data sheet; ISO/IEC 14443-2/-3 type A at
//   106 kbit/s): a byte on the air is 9 bits of 128/fc (85 us), a frame
//   adds 28 us (4-byte command: 368 us, 18-byte data frame: 1558 us), the
//   card answers one frame delay time (1172/fc, 86 us) after the reader,
//   a 4-bit ACK takes 59 us. Authentication is the three-pass exchange
//   (4, 4, 8 and 4 bytes); read is a 4-byte command and an 18-byte answer;
//   write and the value operations add the EEPROM programming time, which
//   the data sheet bounds by its 10 ms time-out and we take as 3.5 ms.
//   Activation is REQA/ATQA, anticollision and SELECT/SAK.
// - CPU card (ISO/IEC 14443-4): the APDU in an I-block (PCB, APDU, CRC) at
//   106 kbit/s both ways, one frame delay time, and the card's processing
//   time for the instruction (a table of typical purse-card times).
// - PSAM (ISO/IEC 7816-3, T=0): 12 etu a character (start, 8 data, parity,
//   2 etu guard time) at its contact speed, 9600 baud by default (F 372,
//   D 1 at 3.57 MHz): header, procedure byte, data, answer and SW1 SW2;
//   plus 1 ms for the instruction and, for the DES commands, the number of
//   DES block operations it runs times the time of one (2 ms, a card
//   without a DES coprocessor).

#include <chrono>
#include <cstdint>
#include <map>
#include <span>

namespace vqsim {

using Micros = std::chrono::microseconds;

// 10 bit times at `baud`.
std::chrono::nanoseconds ByteTime(uint32_t baud);

struct TimingProfile {
  bool wire = false;  // host-line bytes take their time
  // The card's time per reader command code (MIFARE ONE, card files,
  // activation, resets); a code not named takes none.
  std::map<uint8_t, Micros> commands;
  // Processing time per instruction byte (INS) of the CPU card; others take cpuCardDefault.
  std::map<uint8_t, Micros> cpuCardInstructions;
  Micros cpuCardDefault{0};
  // The PSAM: contact speed, DES operations per instruction and their time.
  uint32_t psamBaud = 9600;
  std::map<uint8_t, int> psamDesOperations;
  Micros psamDesOperation{0};
  Micros psamInstruction{0};
  // Overrides: the whole card time of an instruction, wire and processing.
  std::map<uint8_t, Micros> cpuCardOverrides;
  std::map<uint8_t, Micros> psamOverrides;

  static TimingProfile Real();
  static TimingProfile Instant();

  // The time the card takes between the reader's receiving `command` with
  // `request` and its being ready to answer with `answer` (response data).
  Micros CardTime(uint8_t command, std::span<const uint8_t> request, std::span<const uint8_t> answer) const;
  // The host line's time for `bytes` bytes at `baud` (none without wire time).
  std::chrono::nanoseconds LineTime(size_t bytes, uint32_t baud) const;
};

}  // namespace vqsim
