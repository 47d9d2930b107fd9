#pragma once
// The tool's own virtual reader and the line it is served on, with the
// library's port pointed at it through VQHW_COM<n>: on POSIX a fresh
// pseudo-terminal (virtual_line_posix.cpp); on Windows, which has none, a
// loopback TCP port the system picks, named socket://127.0.0.1:PORT
// (virtual_line_win32.cpp).

#include <memory>
#include <string>

#include "sim/hosts/line_host.h"
#include "sim/reader/reader_model.h"
#include "vqhw/frame_trace.h"
#include "vqhw/reader_session.h"

namespace vqtool {

// Serves `reader` on a fresh line of this platform's kind and points port
// `port` of the library at it. Throws ToolError when the system refuses.
std::unique_ptr<vqsim::LineHost> ServeVirtualReader(vqsim::VirtualReader& reader, vqsim::LineHost::Events events,
                                                    int port);

// Sets VQHW_COM<port> to `name` for the library of this process.
void PointPortAt(int port, const std::string& name);

// The virtual reader of --sim on its line, its field from the options.
struct VirtualLine {
  std::string loadedField;  // the description its field came from
  std::unique_ptr<vqsim::VirtualReader> reader;
  std::unique_ptr<vqsim::LineHost> host;
};

// `trace` (may be null) sees every byte on the line. Throws ToolError (a
// bad field or state file, no line).
std::unique_ptr<VirtualLine> StartVirtualLine(const SessionOptions& options, FrameTrace* trace);
// Stops the line (the reader answers nothing more) and saves the field
// into `stateFile`; throws ToolError when it cannot be written.
void SaveVirtualState(VirtualLine& line, const std::string& stateFile);

}  // namespace vqtool
