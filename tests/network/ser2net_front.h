#pragma once
// ser2net, a real serial device server, in front of a virtual reader's pty
// (ser2net-front.sh): telnet with the COM-PORT option on one loopback port,
// raw TCP on another. Started by the constructor, stopped by Stop() or the
// destructor.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vqtest {

class Ser2netFront {
 public:
  // Whether ser2net is installed (package ser2net).
  static bool Installed();

  // Ports 0: picked free now; the same ports again after a restart.
  explicit Ser2netFront(std::string device, bool charDelay = true, uint16_t rfc2217Port = 0, uint16_t rawPort = 0);
  ~Ser2netFront();
  Ser2netFront(const Ser2netFront&) = delete;
  Ser2netFront& operator=(const Ser2netFront&) = delete;

  std::string Url(bool telnet) const;
  uint16_t Rfc2217Port() const { return rfc2217Port_; }
  uint16_t RawPort() const { return rawPort_; }
  void Stop();

 private:
  std::string device_;
  std::string work_;
  uint16_t rfc2217Port_;
  uint16_t rawPort_;
  pid_t pid_ = -1;
};

}  // namespace vqtest
