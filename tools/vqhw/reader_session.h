#pragma once
// Where the reader is for this run of the tool: a port number, optionally a
// device path for it, or the built-in virtual reader on a pseudo-terminal,
// whose frames can be shown as they pass.

#include <chrono>
#include <memory>
#include <string>

#include "sim/pty_host.h"
#include "sim/reader_model.h"

namespace vqtool {

struct SessionOptions {
  int port = 1;
  std::string device;  // names port `port` through VQHW_COM<port>
  bool simulate = false;
  bool traceFrames = false;  // show every frame on the virtual reader's line
};

class ReaderSession {
 public:
  explicit ReaderSession(const SessionOptions& options);
  ~ReaderSession();

  int Port() const { return options_.port; }
  bool Simulated() const { return host_ != nullptr; }
  vqsim::VirtualReader* Reader() { return reader_.get(); }

 private:
  SessionOptions options_;
  std::chrono::steady_clock::time_point start_;
  std::unique_ptr<vqsim::VirtualReader> reader_;
  std::unique_ptr<vqsim::PtyHost> host_;
};

}  // namespace vqtool
