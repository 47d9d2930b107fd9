// Round trip of one reader transaction (PSAM reset: 5 bytes each way)
// through the exports over the network ports, interleaved with a bare TCP
// round trip of the same bytes on the same path, medians. Both meet the
// same trivial reader, which answers every frame at once with status 0 and
// its sequence number, so that what differs is the library alone:
//   - socket:// straight to a TCP server with that reader in it;
//   - rfc2217:// and socket:// through ser2net in front of a pty with that
//     reader on its master (over telnet the bare client doubles 0xFF as the
//     library does), with ser2net's character delay on (its default) and off.
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
#include "network/reader_peer.h"  // Doubled
#include "network/ser2net_front.h"
#include "network/tcp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

const Bytes kFrame{0xFF, 0x00, 0x73, 0x00, 0x8C};
const Bytes kAnswer{0xFF, 0x00, 0x00, 0x00, 0xFF};

// The trivial reader: takes bytes in, gives the answers to the frames
// they complete (FF, the frame's number, status 0, no data, check byte).
class TrivialReader {
 public:
  Bytes Take(const uint8_t* bytes, size_t count) {
    Bytes answers;
    for (size_t i = 0; i < count; ++i) {
      if (frame_.empty() && bytes[i] != 0xFF) continue;
      frame_.push_back(bytes[i]);
      if (frame_.size() >= 4 && frame_.size() == frame_[3] + 5u) {
        const uint8_t sequence = frame_[1];
        answers.insert(answers.end(), {0xFF, sequence, 0x00, 0x00, static_cast<uint8_t>(0xFF ^ sequence)});
        frame_.clear();
      }
    }
    return answers;
  }

 private:
  Bytes frame_;
};

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
    if (::send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) Fail();
    uint8_t buffer[256];
    for (size_t got = 0; got < expected;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) Fail();
      got += static_cast<size_t>(n);
    }
    return Micros(Clock::now() - start);
  }

 private:
  static void Fail() {
    std::fprintf(stderr, "the bare round trip failed: the server closed the connection\n");
    std::exit(1);
  }

  int fd_;
};

// A pty with the trivial reader on its master.
class ReaderPty {
 public:
  ReaderPty() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
    ::grantpt(master_);
    ::unlockpt(master_);
    path_ = ::ptsname(master_);
    holder_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);  // no hang-up while ser2net reopens it
    thread_ = std::thread([this] {
      TrivialReader reader;
      uint8_t buffer[256];
      while (!stop_) {
        pollfd in{master_, POLLIN, 0};
        if (::poll(&in, 1, 50) <= 0) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        const Bytes answers = reader.Take(buffer, static_cast<size_t>(n));
        if (!answers.empty() && ::write(master_, answers.data(), answers.size()) < 0) return;
      }
    });
  }
  ~ReaderPty() {
    stop_ = true;
    thread_.join();
    ::close(holder_);
    ::close(master_);
  }
  const std::string& Path() const { return path_; }

 private:
  int master_;
  int holder_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The trivial reader behind a connection of a TCP peer.
void ServeTrivially(vqtest::PeerConnection& c) {
  TrivialReader reader;
  while (c.Open()) {
    const Bytes in = c.Receive(std::chrono::milliseconds(50));
    c.Send(reader.Take(in.data(), in.size()));
  }
}

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
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  std::printf("network_roundtrip %d: medians of %d interleaved round trips each\n", count, count);

  {
    vqtest::TcpPeer server(ServeTrivially);
    vqtest::TcpPeer bareServer(ServeTrivially);
    BareClient bare(bareServer.Port());
    Print("socket:// to a TCP server", Interleaved(server.Url("socket"), count, [&] {
            return bare.RoundTrip(kFrame, kAnswer.size());
          }));
  }

  if (!vqtest::Ser2netFront::Installed()) {
    std::printf("ser2net is not installed: no figures through it\n");
    return 0;
  }
  ReaderPty libraryPty, barePty;
  const Bytes doubledFrame = vqtest::Doubled(kFrame), doubledAnswer = vqtest::Doubled(kAnswer);
  for (bool charDelay : {true, false}) {
    vqtest::Ser2netFront front(libraryPty.Path(), charDelay);
    vqtest::Ser2netFront bareFront(barePty.Path(), charDelay);
    const std::string delay = charDelay ? ", character delay on" : ", no character delay";
    {
      BareClient bare(bareFront.Rfc2217Port());
      bare.Settle();
      Print(("rfc2217:// through ser2net" + delay).c_str(), Interleaved(front.Url(true), count, [&] {
              return bare.RoundTrip(doubledFrame, doubledAnswer.size());
            }));
    }
    // ser2net lets go of the device a moment after the last connection ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    BareClient bare(bareFront.RawPort());
    Print(("socket:// through ser2net" + delay).c_str(),
          Interleaved(front.Url(false), count, [&] { return bare.RoundTrip(kFrame, kAnswer.size()); }));
  }
  return 0;
}
