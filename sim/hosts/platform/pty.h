#pragma once
// A fresh pseudo-terminal pair, raw both ways: the master for the serving
// thread, the slave held open for the object's life so the master never
// sees a hang-up when the program on the slave closes and reopens it.
// POSIX alone has them (pty_posix.cpp).

#include <string>

#include "sim/hosts/platform/line_io.h"

namespace vqsim::io {

class Pty {
 public:
  static Pty Open();  // throws std::system_error

  Stream& Master() { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  Pty(Stream master, Stream slave, std::string slavePath)
      : master_(std::move(master)), slave_(std::move(slave)), slavePath_(std::move(slavePath)) {}

  Stream master_;
  Stream slave_;  // held, never read
  std::string slavePath_;
};

}  // namespace vqsim::io
