#include "sim/hosts/pty_host.h"

namespace vqsim {

PtyHost::PtyHost(VirtualReader& reader, Events events)
    : pty_(io::Pty::Open()), server_(reader, std::move(events), LineServer::Wire::kEveryByte) {
  thread_ = std::thread([this] {
    io::WakeOnTime();
    server_.Serve(pty_.Master(), stop_);
  });
}

PtyHost::~PtyHost() {
  stop_.Set();
  thread_.join();
}

}  // namespace vqsim
