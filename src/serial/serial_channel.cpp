#include "serial/serial_channel.h"

#include <cstring>

#include "util/trace.h"

namespace vqhw {

SerialChannel::~SerialChannel() { Close(); }

ReaderStatus SerialChannel::Open(const char* deviceName, int32_t baud, char parity, int32_t dataBits,
                            int32_t stopBits) {
  if (isOpen) return status::kAlreadyOpen;
  ReaderStatus opened = OpenPort(deviceName, LineSettings{baud, parity, dataBits, stopBits}, port);
  if (opened != status::kOk) return opened;
  {
    std::lock_guard lock(receiveLock);
    receiveBuffer.Reset();
    frameReady = false;
  }
  if (!worker.Start([this] { ReceiveLoop(); })) {
    port.reset();
    return status::kCannotOpen;
  }
  isOpen = 1;
  return status::kOk;
}

ReaderStatus SerialChannel::Close() {
  if (!isOpen) return status::kNotOpen;
  // The worker leaves its loop by itself, between bytes, holding no lock.
  port->StopWaiting();
  worker.Join();
  Purge();
  port.reset();
  isOpen = 0;
  return status::kOk;
}

ReaderStatus SerialChannel::Configure(int32_t baud, char parity, int32_t dataBits,
                                      int32_t stopBits) {
  if (baud < 4800 || baud % 4800 != 0) return status::kArgument2;
  if (parity != 'N' && parity != 'E' && parity != 'O') return status::kArgument3;
  if (dataBits < 5 || dataBits > 8) return status::kArgument4;
  if (stopBits != 1 && stopBits != 2) return status::kArgument5;
  if (!isOpen) return status::kOk;
  return port->Apply(LineSettings{baud, parity, dataBits, stopBits});
}

ReaderStatus SerialChannel::ReadFrame(uint8_t* destination, Clock::time_point deadline) {
  std::memset(destination, 0, 4);
  std::unique_lock lock(receiveLock);
  if (!frameReadyChanged.wait_until(lock, deadline, [this] { return frameReady; })) {
    return status::kTimeout;
  }
  std::memcpy(destination, completeFrame, FrameSize(completeFrame));
  frameReady = false;
  return status::kOk;
}

ReaderStatus SerialChannel::Write(const uint8_t* bytes, int32_t count) {
  if (count < 0 || static_cast<size_t>(count) > kFrameBufferSize) return status::kCannotSend;
  // Nothing that came before this frame can answer it: a late answer that
  // completed after its command gave up, or the start of one, goes now.
  if (!isOpen) return status::kNotOpen;
  DropReceived(Port::PurgeOccasion::kBeforeFrame);
  std::lock_guard lock(sendLock);
  trace::Frame(trace::Direction::kSent, bytes, static_cast<size_t>(count));
  return port->Write(bytes, static_cast<size_t>(count), kWriteWait);
}

ReaderStatus SerialChannel::Purge() {
  if (!isOpen) return status::kNotOpen;
  trace::Note("purge");
  DropReceived(Port::PurgeOccasion::kAfterFailure);
  return status::kOk;
}

void SerialChannel::DropReceived(Port::PurgeOccasion occasion) {
  std::lock_guard lock(receiveLock);
  if (frameReady || receiveBuffer.PendingBytes() > 0) trace::Note("purge: an earlier answer dropped");
  // The frame being assembled goes too: otherwise the next answer would be
  // appended behind the stale bytes of a cut-off frame and lost. A frame
  // that completed but was not collected is dropped as well.
  receiveBuffer.Reset();
  std::memset(completeFrame, 0, sizeof completeFrame);
  frameReady = false;
  port->Purge(occasion);
}

void SerialChannel::ReceiveLoop() {
  uint8_t bytes[kFrameBufferSize];
  while (size_t count = port->WaitAndRead(bytes, sizeof bytes)) {
    bool completed = false;
    {
      std::lock_guard lock(receiveLock);
      for (size_t i = 0; i < count; ++i) {
        if (!receiveBuffer.Push(bytes[i])) continue;
        std::memcpy(completeFrame, receiveBuffer.Frame(), receiveBuffer.FrameSize());
        trace::Frame(trace::Direction::kReceived, completeFrame, receiveBuffer.FrameSize());
        frameReady = completed = true;
      }
    }
    // Outside the lock, so that the woken caller does not wait for it at once.
    if (completed) frameReadyChanged.notify_all();
  }
}

}  // namespace vqhw
