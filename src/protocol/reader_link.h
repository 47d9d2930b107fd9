#pragma once
// The link to the reader: the serial channel, the sequence number and the
// last frame each way. Every reader command of every card family is one
// Transact on it; the link knows frames, not what their data mean.

#include <cstdint>
#include <optional>

#include "base/frame_layout.h"
#include "base/reader_status.h"
#include "serial/serial_channel.h"

namespace vqhw {

class ReaderLink {
 public:
  // Opens port `portNumber` (1 = COM1, up to 99) and confirms the reader
  // with the probe and the PSAM reset: 0, kAlreadyOpen, kCannotOpen,
  // kReaderNotFound or kNoPsam.
  ReaderStatus Open(int32_t portNumber);
  // 0, or kAlreadyClosed when the link is not open.
  ReaderStatus Close();
  bool IsOpen() const { return channel.IsOpen(); }

  ReaderStatus Probe();      // 0x70 AA AA AA
  ReaderStatus ResetPsam();  // 0x73

  // The line speed while open, 0 while closed.
  int32_t BaudRate() const { return IsOpen() ? lineSpeed : 0; }
  // The speed the port runs at, and opens at next time.
  int32_t LineSpeed() const { return lineSpeed; }
  // 0x71: tells the reader the new speed, switches the port to it and
  // confirms it there. kArgument1 for a speed the reader has no code for.
  ReaderStatus ChangeLineSpeed(int32_t baud);  // 0x71

  // One command with up to three attempts. Refuses a closed link
  // (kNotOpen), a count outside 0..251 (kArgument3) and missing data
  // (kArgument2) before anything is sent. An attempt fails on no answer
  // (kTimeout), an answer with a wrong check byte (kCheckByteWrong) or
  // another sequence number (kWrongSequence); the last attempt's failure
  // is the result. An answer carrying the previous command's number is that
  // command's late answer: it is dropped and the attempt goes on waiting
  // until kFrameWait after its send. `response` (256 bytes) receives the
  // whole answer followed by a zero byte; the status byte is not looked at.
  ReaderStatus Transact(uint8_t command, const uint8_t* data, int32_t count, uint8_t* response);
  // Transact, then the status-byte rule: a non-zero status byte s gives
  // s - 356. A success answer with fewer than `answerSize` data bytes, the
  // fewest its command returns, is kMalformedReply: what it lacks would be
  // read from behind the frame.
  ReaderStatus Command(uint8_t command, const uint8_t* data, int32_t count, uint8_t* response,
                       size_t answerSize = 0);

  // The sequence number the next command frame carries (0..7). It advances
  // when an answer with the same number came, and after a command whose
  // attempts all failed; it is never reset.
  int32_t SequenceNumber() const { return sequenceNumber; }
  // The last command frame built and the last response frame received,
  // each in its 256-byte buffer, zeros behind the frame.
  const uint8_t* LastCommandFrame() const { return commandFrame; }
  const uint8_t* LastResponseFrame() const { return responseFrame; }

  // For the library's fork() handlers, and for tests that open the channel
  // without the reader's confirmation.
  SerialChannel& Channel() { return channel; }

 private:
  // The steps of one attempt; Transact has checked the frame.
  ReaderStatus SendFrame(uint8_t command, const uint8_t* data, int32_t count);
  // Waits until `deadline` for this command's answer, dropping late answers
  // to the previous one.
  ReaderStatus ReceiveFrame(uint8_t* response, SerialChannel::Clock::time_point deadline);
  // Up to three attempts of a checked frame.
  ReaderStatus Attempts(uint8_t command, const uint8_t* data, int32_t count, uint8_t* response);
  ReaderStatus CheckFrame(const uint8_t* data, int32_t count) const;
  void AdvanceSequence();

  int32_t lineSpeed = 115200;
  int32_t sequenceNumber = 0;
  // The number the last command carried (none yet after the load): a frame
  // with it is a late answer to that command.
  std::optional<int32_t> previousSequence;
  uint8_t responseFrame[kFrameBufferSize] = {};
  uint8_t commandFrame[kFrameBufferSize] = {};
  SerialChannel channel;
};

}  // namespace vqhw
