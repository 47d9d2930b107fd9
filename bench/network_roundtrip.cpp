// Round trip of one reader transaction (PSAM reset: 5 bytes each way)
// through the exports over the network ports, interleaved with a bare TCP
// round trip of the same bytes on the same kind of path, medians:
//   - socket:// to a TCP server of the benchmark's own with the virtual
//     reader in it, against a bare client and a peer that answers 5 bytes
//     for every 5;
//   - rfc2217:// through ser2net in front of the virtual reader's pty,
//     against a bare client through ser2net in front of a pty that answers
//     5 bytes for every 5 (the bytes doubled as telnet wants), with
//     ser2net's character delay on (its default) and off.
//
//   network_roundtrip [transactions]

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "VqhwLib.h"
#include "bare_pty.h"
#include "network/reader_peer.h"
#include "network/ser2net_front.h"
#include "network/tcp_peer.h"
#include "sim/pty_host.h"
#include "sim/reader_model.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

const Bytes kFrame{0xFF, 0x00, 0x73, 0x00, 0x8C};
const Bytes kAnswer{0xFF, 0x00, 0x00, 0x00, 0xFF};

// A bare client: writes `out` and reads `expected` bytes back.
class BareClient {
 public:
  explicit BareClient(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::perror("connect");
  }
  ~BareClient() { ::close(fd_); }

  // Drops what the server sent on its own (telnet's options).
  void Settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    uint8_t buffer[256];
    while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
  }

  double RoundTrip(const Bytes& out, size_t expected) {
    const auto start = Clock::now();
    if (::send(fd_, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size())) return -1;
    uint8_t buffer[256];
    for (size_t got = 0; got < expected;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return -1;
      got += static_cast<size_t>(n);
    }
    return Micros(Clock::now() - start);
  }

 private:
  int fd_;
};

// A pty whose master answers every 5 bytes with `answer`.
class EchoPty {
 public:
  explicit EchoPty(Bytes answer) : answer_(std::move(answer)), master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
    ::grantpt(master_);
    ::unlockpt(master_);
    path_ = ::ptsname(master_);
    holder_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);  // no hang-up while ser2net reopens it
    thread_ = std::thread([this] {
      uint8_t buffer[256];
      size_t pending = 0;
      while (!stop_) {
        pollfd in{master_, POLLIN, 0};
        if (::poll(&in, 1, 50) <= 0) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        for (pending += static_cast<size_t>(n); pending >= 5; pending -= 5) {
          if (::write(master_, answer_.data(), answer_.size()) < 0) return;
        }
      }
    });
  }
  ~EchoPty() {
    stop_ = true;
    thread_.join();
    ::close(holder_);
    ::close(master_);
  }
  const std::string& Path() const { return path_; }

 private:
  Bytes answer_;
  int master_;
  int holder_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Result {
  double library;
  double bare;
};

// Opens COM1 at `url` and times `count` PSAM resets, each followed by one
// bare round trip.
Result Interleaved(const std::string& url, int count, const std::function<double()>& bare) {
  setenv("VQHW_COM1", url.c_str(), 1);
  if (open_reader(1, 0) != 0) {
    std::fprintf(stderr, "%s did not open\n", url.c_str());
    std::exit(1);
  }
  std::vector<double> library, plain;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (SAM_reset_h() != 0) std::fprintf(stderr, "transaction %d failed\n", i);
    library.push_back(Micros(Clock::now() - start));
    plain.push_back(bare());
  }
  close_reader();
  return {vqbench::Median(library), vqbench::Median(plain)};
}

void Print(const char* what, const Result& r) {
  std::printf("%-52s library %8.1f us   bare %8.1f us   ratio %.2f\n", what, r.library, r.bare, r.library / r.bare);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  std::printf("network_roundtrip %d: medians of %d interleaved round trips each\n", count, count);

  vqsim::VirtualReader reader;
  reader.LimitHistory(16);
  {
    vqtest::TcpPeer server([&](vqtest::PeerConnection& c) { vqtest::ServeReader(c, reader, {}); });
    vqtest::TcpPeer echo([](vqtest::PeerConnection& c) {
      size_t pending = 0;
      while (c.Open()) {
        for (pending += c.Receive(std::chrono::milliseconds(50)).size(); pending >= 5; pending -= 5) c.Send(kAnswer);
      }
    });
    BareClient bare(echo.Port());
    Print("socket:// to the virtual reader", Interleaved(server.Url("socket"), count, [&] {
            return bare.RoundTrip(kFrame, kAnswer.size());
          }));
  }

  if (!vqtest::Ser2netFront::Installed()) {
    std::printf("ser2net is not installed: no rfc2217:// figures\n");
    return 0;
  }
  vqsim::PtyHost host(reader);
  EchoPty echoPty(kAnswer);
  const Bytes doubledFrame = vqtest::Doubled(kFrame), doubledAnswer = vqtest::Doubled(kAnswer);
  for (bool charDelay : {true, false}) {
    vqtest::Ser2netFront front(host.SlavePath(), charDelay);
    vqtest::Ser2netFront bareFront(echoPty.Path(), charDelay);
    const std::string delay = charDelay ? ", character delay on" : ", no character delay";
    {
      BareClient bare(bareFront.Rfc2217Port());
      bare.Settle();
      Print(("rfc2217:// through ser2net" + delay).c_str(), Interleaved(front.Url(true), count, [&] {
              return bare.RoundTrip(doubledFrame, doubledAnswer.size());
            }));
    }
    BareClient bare(bareFront.RawPort());
    Print(("socket:// through ser2net" + delay).c_str(),
          Interleaved(front.Url(false), count, [&] { return bare.RoundTrip(kFrame, kAnswer.size()); }));
  }
  return 0;
}
