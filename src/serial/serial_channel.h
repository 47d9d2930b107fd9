#pragma once
// One port to the reader (a serial device or a device server on the
// network) with its receive worker: the worker assembles response frames
// and hands each complete one to the calling thread; writes and frame
// waits are bounded.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/frame_layout.h"
#include "base/reader_status.h"
#include "serial/frame_assembler.h"
#include "serial/port.h"
#include "serial/worker_thread.h"

namespace vqhw {

// How long a write may take.
inline constexpr std::chrono::milliseconds kWriteWait{3000};

class SerialChannel {
 public:
  using Clock = std::chrono::steady_clock;

  SerialChannel() = default;
  ~SerialChannel();
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  // Opens the port named `deviceName` (a device or a URL, see OpenPort)
  // and starts the worker. Returns 0, or kAlreadyOpen,
  // kCannotOpen, kSettingsUnreadable, kSettingsRejected, kTimeoutsNotSet.
  // The parameters are not validated here (Configure does).
  ReaderStatus Open(const char* deviceName, int32_t baud, char parity, int32_t dataBits,
               int32_t stopBits);
  // Stops and joins the worker, purges and closes the port; kNotOpen when closed.
  ReaderStatus Close();
  // Validates new line settings and applies them when the port is open.
  // The refusals count the port as the first setting: a wrong speed is
  // kArgument2, parity kArgument3, data bits kArgument4, stop bits kArgument5.
  ReaderStatus Configure(int32_t baud, char parity, int32_t dataBits, int32_t stopBits);
  // Waits until `deadline` for a complete frame and copies it (FrameSize
  // bytes; `destination` holds 256). kTimeout when none came by then.
  ReaderStatus ReadFrame(uint8_t* destination, Clock::time_point deadline);
  // Purges as Purge does, then writes `count` (at most 256) bytes within
  // kWriteWait: 0, kNotOpen, kCannotSend or kTimeout.
  ReaderStatus Write(const uint8_t* bytes, int32_t count);
  // Discards everything received, the frame being assembled included, and
  // both queues of the port.
  ReaderStatus Purge();

  bool IsOpen() const { return isOpen != 0; }

  // fork() (POSIX, serial_channel_fork_posix.cpp): before it the receive
  // lock is taken, so that the child's copy is free; in the child an open
  // channel is let go of without touching the parent's port or worker, and
  // reads as closed.
  void BeforeFork();
  void AfterForkInParent();
  void AfterForkInChild();

 private:
  void ReceiveLoop();
  // Purge's work; an explicit Purge is traced, the one before each send
  // only when it drops something.
  void DropReceived(Port::PurgeOccasion occasion);

  int32_t isOpen = 0;
  std::unique_ptr<Port> port;  // while open
  WorkerThread worker;

  // Shared with the worker under receiveLock.
  std::mutex receiveLock;
  std::condition_variable frameReadyChanged;
  FrameAssembler receiveBuffer;
  uint8_t completeFrame[kFrameBufferSize] = {};  // the last complete frame
  bool frameReady = false;

  std::mutex sendLock;
};

}  // namespace vqhw
