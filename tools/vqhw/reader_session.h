#pragma once
// Where the reader is for this run of the tool: a port number, optionally a
// device path for it, or the built-in virtual reader on a pseudo-terminal.
// With a frame trace, every byte on the line is shown: the virtual reader's
// traffic, or for a real device the bytes of a relay that the library's
// port is pointed at.

#include <memory>
#include <optional>
#include <string>

#include "sim/pty_host.h"
#include "sim/reader_model.h"
#include "vqhw/frame_trace.h"
#include "vqhw/port_relay.h"

namespace vqtool {

struct SessionOptions {
  int port = 1;
  std::string device;     // names port `port` through VQHW_COM<port>
  bool simulate = false;
  std::string fieldFile;  // the virtual reader's cards, JSON; empty: the default field
  std::string stateFile;  // the field loaded from here (when there) and saved back at the end
  std::string card = "mifare-one";  // the default field's card: "mifare-one" or "cpu"
  std::string timing = "real";      // the virtual reader's: "real" or "instant"
};

class ReaderSession {
 public:
  // `trace` (may be null) sees every frame; it must outlive the session.
  // Throws ToolError with a message for people and the exit code when the
  // line cannot be set up (no pty, a device that cannot be opened, a bad
  // field or state file).
  ReaderSession(const SessionOptions& options, FrameTrace* trace);
  ~ReaderSession();

  // Stops the virtual reader and saves its field into the state file, when
  // one was named; throws ToolError when it cannot be written.
  void SaveState();

  int Port() const { return options_.port; }
  bool Simulated() const { return host_ != nullptr; }

  // The device the library opens for port n when nothing is set: VQHW_COM<n>, else /dev/ttyS<n-1>.
  static std::string DefaultDevice(int port);

 private:
  void PointPortAt(const std::string& path) const;

  SessionOptions options_;
  std::string loadedField_;  // the description the virtual reader's field came from
  std::unique_ptr<vqsim::VirtualReader> reader_;
  std::unique_ptr<vqsim::PtyHost> host_;
  std::unique_ptr<PortRelay> relay_;
};

}  // namespace vqtool
