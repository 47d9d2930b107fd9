#pragma once

#include <string>
#include <thread>

#include "sim/hosts/line_host.h"
#include "sim/hosts/line_server.h"
#include "sim/hosts/platform/line_io.h"
#include "sim/hosts/platform/pty.h"
#include "sim/reader/reader_model.h"

namespace vqsim {

// Serves a VirtualReader on a fresh pseudo-terminal pair from its own thread.
// The lane opens the slave side with SlavePath(), like a serial port. It
// may open, close and reopen it as often as it likes: this object keeps one
// slave descriptor open for its whole life, so the master never sees a
// hang-up. A pty has no wire: the line's time is kept here (LineServer).
class PtyHost : public LineHost {
 public:
  // Throws std::system_error when no pseudo-terminal can be set up.
  explicit PtyHost(VirtualReader& reader, Events events = {});
  ~PtyHost() override;
  PtyHost(const PtyHost&) = delete;
  PtyHost& operator=(const PtyHost&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }  // put this into VQHW_COM<n>
  std::string PortName() const override { return SlavePath(); }

 private:
  io::Pty pty_;
  io::Event stop_;
  LineServer server_;
  std::thread thread_;
};

}  // namespace vqsim
