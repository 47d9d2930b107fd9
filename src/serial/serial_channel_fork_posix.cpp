// The channel across fork(). The child has a copy of the channel but not
// its worker, and its descriptors name the parent's port and wake-up pipe:
// closing, purging or waking through them would cut the parent off.

#include "serial/serial_channel.h"

namespace vqhw {

// The worker takes the receive lock for a moment per chunk of bytes;
// holding it over the fork leaves the child a copy that is free.
void SerialChannel::BeforeFork() { receiveLock.lock(); }

void SerialChannel::AfterForkInParent() { receiveLock.unlock(); }

void SerialChannel::AfterForkInChild() {
  receiveLock.unlock();
  if (!isOpen) return;
  port->Abandon();
  port.reset();
  worker.Abandon();
  receiveBuffer.Reset();
  frameReady = false;
  isOpen = 0;
}

}  // namespace vqhw
