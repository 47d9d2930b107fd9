#pragma once
// Where the reader is for this run of the tool: a port number, optionally a
// device path for it, or the built-in virtual reader (on a pseudo-terminal;
// on Windows a loopback TCP port). With a frame trace, every frame on the
// line is shown: the virtual reader's traffic; for a real device on POSIX
// the bytes of a relay that the library's port is pointed at
// (reader_session_posix.cpp); on Windows, and for a network port anywhere,
// the frames of the library's own trace (library_trace.h).

#include <memory>
#include <string>

#include "vqhw/frame_trace.h"

namespace vqtool {

struct SessionOptions {
  int port = 1;
  std::string device;     // names port `port` through VQHW_COM<port>
  bool simulate = false;
  std::string fieldFile;  // the virtual reader's cards, JSON; empty: the default field
  std::string stateFile;  // the field loaded from here (when there) and saved back at the end
  std::string card = "mifare-one";  // the default field's card: "mifare-one" or "cpu"
  std::string timing;     // the virtual reader's: "real" (also when empty) or "instant"
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
  bool Simulated() const;

  // The device the library opens for port n: VQHW_COM<n>, else
  // /dev/ttyS<n-1>; on Windows COM<n>.
  static std::string DefaultDevice(int port);
  // What `trace` shows on this platform, for its help.
  static const char* TraceDescription();
  // What the help says of this platform beyond the options, or empty.
  static const char* PlatformNote();

 private:
  struct Line;  // what stands behind the port, and what shows its frames

  SessionOptions options_;
  std::unique_ptr<Line> line_;
};

}  // namespace vqtool
