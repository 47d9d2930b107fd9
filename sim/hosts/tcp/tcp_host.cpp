#include "sim/hosts/tcp/tcp_host.h"

#include <array>

namespace vqsim {

TcpHost::TcpHost(VirtualReader& reader, const ListenUrl& url, Events events, bool takeOver)
    : reader_(reader),
      url_(url),
      events_(events),
      takeOver_(takeOver),
      listener_(io::Listener::Open(url.host, url.port)),
      server_(reader, std::move(events), LineServer::Wire::kWholeChunk) {
  acceptorThread_ = std::thread([this] { Accept(); });
  serverThread_ = std::thread([this] { Serve(); });
}

TcpHost::~TcpHost() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  served_.notify_all();
  stop_.Set();
  wake_.Set();
  acceptorThread_.join();
  serverThread_.join();
}

std::string TcpHost::PortName() const { return url_.Text(listener_.Address(), listener_.Port()); }

// Every client that calls is taken at once: served, handed over on a
// take-over, or refused with the reason.
void TcpHost::Accept() {
  while (listener_.WaitCall(stop_) == io::Wake::kReady) {
    std::optional<io::Listener::Call> call = listener_.Accept();
    if (!call) continue;
    std::unique_lock lock(mutex_);
    if (!takeOver_) {
      served_.wait_for(lock, kLeavingGrace, [this] { return stopping_ || (serving_.empty() && !waiting_); });
    }
    const std::string busyWith = !serving_.empty() ? serving_ : waiting_ ? waiting_->peer : std::string();
    if (busyWith.empty() || takeOver_) {
      if (!busyWith.empty()) Tell(call->peer + " takes the reader over from " + busyWith);
      waiting_ = std::move(call);  // a client waiting before it is let go
      wake_.Set();
      continue;
    }
    lock.unlock();
    Refuse(*call, busyWith);
  }
}

void TcpHost::Serve() {
  io::WakeOnTime();
  while (std::optional<io::Listener::Call> call = NextClient()) {
    Tell(call->peer + " connected");
    reader_.DropPartialFrame();
    ComPortServer comPort;  // each client negotiates afresh
    const LineServer::End end =
        server_.Serve(call->stream, wake_, url_.scheme == ListenUrl::Scheme::kRfc2217 ? &comPort : nullptr);
    std::lock_guard lock(mutex_);
    serving_.clear();
    served_.notify_all();
    if (stopping_) return;
    Tell(call->peer + (end == LineServer::End::kLineGone ? " left" : " let go"));
  }
}

// The client to serve next, once there is one; none when the host stops.
std::optional<io::Listener::Call> TcpHost::NextClient() {
  while (true) {
    wake_.WaitUntil(std::nullopt);
    std::lock_guard lock(mutex_);
    wake_.Reset();
    if (stopping_) return std::nullopt;
    if (waiting_) {
      std::optional<io::Listener::Call> call = std::move(waiting_);
      waiting_.reset();
      serving_ = call->peer;
      return call;
    }
  }
}

// The reason goes to the client as a line of text, as far as its socket
// takes it at once; what it sent is read away, so that it sees the line
// and an orderly close rather than a reset.
void TcpHost::Refuse(io::Listener::Call& call, const std::string& busyWith) const {
  Tell("refused " + call.peer + ": the reader serves " + busyWith + ", one client at a time");
  const std::string reason = "vqhw-sim: this reader serves another client (" + busyWith + "), one client at a time\r\n";
  call.stream.Write(std::span(reinterpret_cast<const uint8_t*>(reason.data()), reason.size()));
  std::array<uint8_t, 512> sent{};
  for (int i = 0; i < 16; ++i) {
    const std::optional<size_t> count = call.stream.Read(sent);
    if (!count || *count == 0) break;
  }
}

void TcpHost::Tell(const std::string& text) const {
  if (events_.clients) events_.clients(text);
}

}  // namespace vqsim
