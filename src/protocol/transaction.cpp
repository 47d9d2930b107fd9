// One command and its answer: the frame checked once, then up to three
// attempts of send, wait, and check the check byte and the sequence number.
// An attempt waits kFrameWait from its send; late answers to the previous
// command that come meanwhile are dropped without ending it.

#include <cstring>

#include "protocol/frame.h"
#include "protocol/reader_link.h"
#include "serial/frame_wait.h"
#include "util/trace.h"

namespace vqhw {

namespace {
constexpr int kAttempts = 3;
}

ReaderStatus ReaderLink::CheckFrame(const uint8_t* data, int32_t count) const {
  if (!IsOpen()) return status::kNotOpen;
  // More than 251 data bytes would overrun the 256-byte frame buffer.
  if (count < 0 || count > kMaxCommandData) return status::kArgument3;
  if (count > 0 && data == nullptr) return status::kArgument2;
  return status::kOk;
}

ReaderStatus ReaderLink::SendFrame(uint8_t command, const uint8_t* data, int32_t count) {
  std::memset(commandFrame, 0, sizeof commandFrame);
  const size_t size = BuildCommandFrame(static_cast<uint8_t>(sequenceNumber), command, data,
                                        static_cast<size_t>(count), commandFrame);
  return channel.Write(commandFrame, static_cast<int32_t>(size));
}

ReaderStatus ReaderLink::ReceiveFrame(uint8_t* response,
                                      SerialChannel::Clock::time_point deadline) {
  while (true) {
    std::memset(responseFrame, 0, sizeof responseFrame);
    const ReaderStatus received = channel.ReadFrame(responseFrame, deadline);
    if (received == status::kTimeout) trace::TimeOut(kFrameWait);
    if (received != status::kOk) return received;
    const size_t size = FrameSize(responseFrame);
    // A byte spoilt on the line: the answer is as good as lost.
    if (!HasRightCheckByte(responseFrame)) return status::kCheckByteWrong;
    const int32_t answeredSequence = responseFrame[frame::kSequence];
    // The reader answering the previous command's attempts after that
    // command gave up: nothing is wrong with this attempt, whose own answer
    // may still come before its deadline.
    if (answeredSequence == previousSequence) {
      trace::Note("late answer to the previous command dropped");
      continue;
    }
    std::memcpy(response, responseFrame, size);
    response[size] = 0;
    // Any other number is not an answer this link can place.
    if (answeredSequence != sequenceNumber) return status::kWrongSequence;
    AdvanceSequence();
    return status::kOk;
  }
}

void ReaderLink::AdvanceSequence() {
  sequenceNumber = (sequenceNumber + 1) % static_cast<int32_t>(kSequenceModulus);
}

ReaderStatus ReaderLink::Attempts(uint8_t command, const uint8_t* data, int32_t count,
                                  uint8_t* response) {
  std::memset(response, 0, 4);
  const int32_t commandSequence = sequenceNumber;
  ReaderStatus result = status::kArgument1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) trace::Retry(attempt + 1, result);
    result = SendFrame(command, data, count);
    if (result != status::kOk) continue;
    result = ReceiveFrame(response, SerialChannel::Clock::now() + kFrameWait);
    if (result == status::kOk) break;
    channel.Purge();
  }
  // The reader may still answer the command that failed; the next command
  // carries another number, so that answer cannot pass for its own, and
  // drops it as the previous command's.
  if (result != status::kOk) AdvanceSequence();
  previousSequence = commandSequence;
  return result;
}

ReaderStatus ReaderLink::Transact(uint8_t command, const uint8_t* data, int32_t count,
                                  uint8_t* response) {
  if (ReaderStatus refused = CheckFrame(data, count)) return refused;
  return Attempts(command, data, count, response);
}

ReaderStatus ReaderLink::Command(uint8_t command, const uint8_t* data, int32_t count,
                                 uint8_t* response, size_t answerSize) {
  const ReaderStatus result = Transact(command, data, count, response);
  if (result != status::kOk) return result;
  const uint8_t statusByte = response[frame::kCode];
  if (statusByte != 0) return StatusFromByte(statusByte);
  return response[frame::kLength] < answerSize ? status::kMalformedReply : status::kOk;
}

}  // namespace vqhw
