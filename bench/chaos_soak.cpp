// The lane through outages: N block transactions (a write, then a read of
// the same block) through the network port, in turns against ser2net in
// front of a virtual reader's pty and against a virtual reader's own TCP
// port, rfc2217:// and socket:// each, while a killer stops the server of
// the turn at random moments and starts it again on the same port, and a
// proxy of this program's own, between the lane and the server, cuts
// connections after a random number of the server's bytes, mid-frame.
//
// Checked: every block read that succeeds holds what was last written there
// (or, where a write failed, what it tried to write); a command fails only
// while a server is down, a connection is cut or the reader lost its card's
// authentication by its restart; the lane process's resident memory,
// descriptors and threads end where they began.
//
//   chaos_soak [TRANSACTIONS [SEED]]      (1000000; a seed from the clock)
//
// Run by scripts/chaos-soak.sh; not part of the tests.

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "VqhwLib.h"
#include "network/ser2net_front.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Block = std::array<uint8_t, 16>;

constexpr int kBlock = 5;  // in sector 1
constexpr int kTurnLength = 2000;  // transactions a turn, a write and a read counted as two

// ---- the lane process's figures

long StatusField(const char* name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name, 0) == 0) return std::strtol(line.c_str() + std::strlen(name), nullptr, 10);
  }
  return -1;
}

long OpenDescriptors() {
  DIR* fds = ::opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  long count = 0;
  while (const dirent* entry = ::readdir(fds)) count += entry->d_name[0] != '.';
  ::closedir(fds);
  return count - 1;  // the directory being read
}

struct Figures {
  long rssKb, descriptors, threads;
};
Figures Sample() { return {StatusField("VmRSS:"), OpenDescriptors(), StatusField("Threads:")}; }
void Print(const char* when, const Figures& f) {
  std::printf("%-10s rss %6ld kB  descriptors %3ld  threads %2ld\n", when, f.rssKb, f.descriptors, f.threads);
  std::fflush(stdout);
}

// ---- loopback plumbing

uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

int ConnectTo(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void WaitListening(uint16_t port) {
  for (int tries = 0; tries < 200; ++tries) {
    const int fd = ConnectTo(port);
    if (fd >= 0) {
      ::close(fd);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::fprintf(stderr, "chaos: nothing listens on 127.0.0.1:%u\n", port);
  std::exit(2);
}

// Between the lane and the server of the turn: one connection at a time,
// cut after a random number of the server's bytes, in the middle of a read.
class CuttingProxy {
 public:
  explicit CuttingProxy(uint32_t seed) : random_(seed) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    ::pipe2(stop_, O_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
  }
  ~CuttingProxy() {
    ::write(stop_[1], "x", 1);
    thread_.join();
    ::close(listener_);
    ::close(stop_[0]);
    ::close(stop_[1]);
  }
  uint16_t Port() const { return port_; }
  void SetBackend(uint16_t port) { backend_ = port; }
  size_t Cuts() const { return cuts_; }
  // Waits (up to two seconds) until no lane is connected.
  void WaitIdle() const {
    for (int tries = 0; tries < 200 && relaying_; ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Whether a cut fell between `from` and `to`.
  bool CutBetween(Clock::time_point from, Clock::time_point to) {
    std::lock_guard lock(mutex_);
    return std::any_of(cutTimes_.begin(), cutTimes_.end(), [&](auto t) { return t >= from && t <= to; });
  }

 private:
  void Run() {
    for (;;) {
      pollfd waits[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      ::poll(waits, 2, -1);
      if (waits[1].revents) return;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      relaying_ = true;
      const int server = ConnectTo(backend_);
      if (server >= 0) Relay(client, server);
      if (server >= 0) ::close(server);
      ::close(client);
      relaying_ = false;
    }
  }
  void Relay(int client, int server) {
    std::uniform_int_distribution<long> budget(1, 6000);
    long left = budget(random_);
    uint8_t buffer[4096];
    for (;;) {
      pollfd waits[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      ::poll(waits, 3, -1);
      if (waits[2].revents) return;
      if (waits[0].revents) {
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0 || ::send(server, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return;
      }
      if (waits[1].revents) {
        const ssize_t n = ::read(server, buffer, sizeof buffer);
        if (n <= 0) return;
        if (n >= left) {
          ::send(client, buffer, static_cast<size_t>(left - 1), MSG_NOSIGNAL);
          ++cuts_;
          std::lock_guard lock(mutex_);
          cutTimes_.push_back(Clock::now());
          return;
        }
        left -= n;
        if (::send(client, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return;
      }
    }
  }

  std::mt19937 random_;
  int listener_ = -1;
  int stop_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<uint16_t> backend_{0};
  std::atomic<size_t> cuts_{0};
  std::atomic<bool> relaying_{false};
  std::mutex mutex_;
  std::vector<Clock::time_point> cutTimes_;
  std::thread thread_;
};

// ---- the servers

pid_t Spawn(const std::vector<std::string>& arguments, const std::string& out) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::string FirstLine(const std::string& path) {
  for (int tries = 0; tries < 200; ++tries) {
    std::ifstream file(path);
    std::string line;
    if (std::getline(file, line) && !line.empty()) return line;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

void Reap(pid_t& pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

// A server the killer stops and starts: ser2net in front of the pty, or the
// virtual reader's own TCP ports; each has a raw and a telnet port.
class Server {
 public:
  virtual ~Server() = default;
  virtual void Kill() = 0;
  virtual void Start() = 0;
  virtual uint16_t Port(bool telnet) const = 0;
  // Whether the readers behind it forget their cards' state when it stops.
  virtual bool ReaderRestarts() const = 0;
};

class Ser2netServer final : public Server {
 public:
  explicit Ser2netServer(std::string pty) : pty_(std::move(pty)) { Start(); }
  void Kill() override { front_.reset(); }
  void Start() override {
    front_ = std::make_unique<vqtest::Ser2netFront>(pty_, true, rfc2217Port_, rawPort_);
    rfc2217Port_ = front_->Rfc2217Port();
    rawPort_ = front_->RawPort();
  }
  uint16_t Port(bool telnet) const override { return telnet ? rfc2217Port_ : rawPort_; }
  bool ReaderRestarts() const override { return false; }

 private:
  std::string pty_;
  uint16_t rfc2217Port_ = 0, rawPort_ = 0;
  std::unique_ptr<vqtest::Ser2netFront> front_;
};

class SimTcpServer final : public Server {
 public:
  explicit SimTcpServer(std::string out) : out_(std::move(out)), rfc2217Port_(FreePort()), rawPort_(FreePort()) {
    Start();
  }
  ~SimTcpServer() override { Reap(pid_, SIGTERM); }
  void Kill() override { Reap(pid_, SIGKILL); }
  void Start() override {
    pid_ = Spawn({VQHW_SIM_EXECUTABLE, "--timing", "instant", "--listen",
                  "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_), "--listen",
                  "socket://127.0.0.1:" + std::to_string(rawPort_)},
                 out_);
    WaitListening(rfc2217Port_);
    WaitListening(rawPort_);
  }
  uint16_t Port(bool telnet) const override { return telnet ? rfc2217Port_ : rawPort_; }
  bool ReaderRestarts() const override { return true; }

 private:
  std::string out_;
  uint16_t rfc2217Port_, rawPort_;
  pid_t pid_ = -1;
};

// ---- the lane

struct Outage {
  Clock::time_point from, to;
};

struct Turn {
  Server* server;
  bool telnet;
  const char* name;
};

class Lane {
 public:
  Lane(std::vector<Turn> turns, CuttingProxy& proxy, uint32_t seed)
      : turns_(std::move(turns)), proxy_(proxy), random_(seed) {}

  void Run(long transactions) {
    if (!std::getenv("VQHW_CHAOS_CALM")) killer_ = std::thread([this] { Kill(); });
    long done = 0;
    long report = transactions / 10;
    for (size_t turn = 0; done < transactions; ++turn) {
      SwitchTo(turn % turns_.size());
      for (int k = 0; k < kTurnLength && done < transactions; k += 2, done += 2) Transaction(done);
      if (done >= report) {
        Print(("at " + std::to_string(done)).c_str(), Sample());
        report += transactions / 10;
      }
    }
    stopping_ = true;
    if (killer_.joinable()) killer_.join();
    close_reader();
  }

  void Report() const {
    std::printf("export calls %ld, failed %ld (%ld of them unexplained), wrong data %ld\n", commands_, failed_,
                unexplained_, wrong_);
    std::printf("outages %zu, cuts %zu, turns %ld; failures by status:", outages_.size(), proxy_.Cuts(), turnsRun_);
    for (const auto& [status, count] : failures_) std::printf(" %d: %ld", status, count);
    std::printf("\n");
  }
  bool Passed() const { return wrong_ == 0 && unexplained_ == 0; }

 private:
  // The readers behind the turns: one on the pty (both of ser2net's ports
  // reach it), one for each of the virtual reader's TCP ports.
  struct Reader {
    std::set<Block> possible;  // what its block may hold now
    std::optional<Block> initial;  // what it held before the first write
    std::atomic<bool> restartedSinceActivation{false};  // set by the killer
  };
  Reader& ReaderOf(size_t turn) {
    const Turn& t = turns_[turn];
    return t.server->ReaderRestarts() ? readers_[t.telnet ? 1 : 2] : readers_[0];
  }

  void SwitchTo(size_t turn) {
    std::lock_guard lock(turnLock_);
    close_reader();
    open_ = false;
    current_ = turn;
    ++turnsRun_;
    const Turn& t = turns_[turn];
    proxy_.SetBackend(t.server->Port(t.telnet));
    const std::string url = std::string(t.telnet ? "rfc2217" : "socket") + "://127.0.0.1:" + std::to_string(proxy_.Port());
    ::setenv("VQHW_COM1", url.c_str(), 1);
    activated_ = false;
  }

  // Opens the port when it is closed, then resets the field, activates the
  // card and authenticates its sector; until all of it works.
  void Activate() {
    while (!activated_) {
      if (!open_) {
        open_ = Command([] { return open_reader(1, 0); }) == 0;
        if (!open_) {
          std::this_thread::sleep_for(std::chrono::milliseconds(50));  // as a lane waits before it tries again
          continue;
        }
      }
      unsigned char record[5];
      static const unsigned char kKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
      // A card left selected by a command cut short answers no activation
      // until the field is reset, as a lane does after a failure.
      activated_ = Command([] { return RF_reset_h(); }) == 0 && Command([&] { return opencard(record); }) == 0 &&
                   Command([] { return loadkey(0, kBlock / 4, kKey); }) == 0;
      if (activated_) {
        ReaderOf(current_).restartedSinceActivation = false;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // as a lane waits before it tries again
      }
    }
  }

  void Transaction(long number) {
    Activate();
    Reader& reader = ReaderOf(current_);
    if (!reader.initial) {
      Block first{};
      if (Command([&] { return readblock(0, kBlock, first.data()); }) != 0) {
        activated_ = false;
        return;
      }
      reader.initial = first;
      reader.possible = {first};
    }
    Block data{};
    for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>((number >> (8 * (i % 4))) ^ (i * 0x11));
    if (Command([&] { return writeblock(0, kBlock, data.data()); }) == 0) {
      reader.possible = {data};
    } else {
      reader.possible.insert(data);  // it may have reached the card
      activated_ = false;
      return;
    }
    Block read{};
    if (Command([&] { return readblock(0, kBlock, read.data()); }) != 0) {
      activated_ = false;
      return;
    }
    std::set<Block> allowed = reader.possible;
    if (reader.restartedSinceActivation) allowed.insert(*reader.initial);
    if (!allowed.count(read)) {
      if (++wrong_ <= 10) std::printf("wrong data at transaction %ld on %s\n", number, turns_[current_].name);
    }
    reader.possible = {read};
  }

  // One export call, timed; a failure is explained by an outage or a cut
  // during it, or by the reader's restart since the card was activated.
  template <class Call>
  int32_t Command(Call call) {
    const auto from = Clock::now();
    const int32_t result = call();
    const auto to = Clock::now();
    ++commands_;
    if (result == 0) return result;
    ++failed_;
    ++failures_[result];
    if (result == -7 || result == -9) open_ = false;  // closed
    if (result == -12 || result == -23 || result == -26) open_ = false;
    bool explained = proxy_.CutBetween(from, to) || ReaderOf(current_).restartedSinceActivation;
    {
      std::lock_guard lock(outageLock_);
      for (const Outage& o : outages_) explained |= o.from <= to && o.to >= from;
      explained |= killing_;
    }
    if (!explained && ++unexplained_ <= 10) {
      std::printf("unexplained failure %d on %s after %.1f ms\n", result, turns_[current_].name,
                  std::chrono::duration<double, std::milli>(to - from).count());
    }
    return result;
  }

  void Kill() {
    std::uniform_int_distribution<int> between(300, 2500), down(0, 400);
    while (!stopping_) {
      const auto wake = Clock::now() + std::chrono::milliseconds(between(random_));
      while (!stopping_ && Clock::now() < wake) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (stopping_) return;
      std::lock_guard lock(turnLock_);
      Server* server = turns_[current_].server;
      Outage outage{Clock::now(), {}};
      {
        std::lock_guard lockOutages(outageLock_);
        killing_ = true;
      }
      server->Kill();
      std::this_thread::sleep_for(std::chrono::milliseconds(down(random_)));
      server->Start();
      if (server->ReaderRestarts()) {
        readers_[1].restartedSinceActivation = readers_[2].restartedSinceActivation = true;
      }
      outage.to = Clock::now();
      std::lock_guard lockOutages(outageLock_);
      outages_.push_back(outage);
      killing_ = false;
    }
  }

  std::vector<Turn> turns_;
  CuttingProxy& proxy_;
  std::mt19937 random_;
  Reader readers_[3];
  size_t current_ = 0;
  bool open_ = false;
  bool activated_ = false;
  std::map<int32_t, long> failures_;
  long commands_ = 0, failed_ = 0, unexplained_ = 0, wrong_ = 0, turnsRun_ = 0;
  // The killer holds it while a server is down, so that a turn never
  // begins on a server being started; the lane's calls do not take it.
  std::mutex turnLock_;
  std::mutex outageLock_;
  std::vector<Outage> outages_;
  bool killing_ = false;
  std::atomic<bool> stopping_{false};
  std::thread killer_;
};

}  // namespace

int main(int argc, char** argv) {
  const long transactions = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10))
                                 : static_cast<uint32_t>(Clock::now().time_since_epoch().count());
  ::signal(SIGPIPE, SIG_IGN);
  if (!vqtest::Ser2netFront::Installed()) {
    std::fprintf(stderr, "chaos: ser2net is not installed\n");
    return 2;
  }
  const std::string work = "/tmp/vqhw-chaos-" + std::to_string(::getpid());
  pid_t ptySim = Spawn({VQHW_SIM_EXECUTABLE, "--timing", "instant"}, work + ".pty");
  const std::string pty = FirstLine(work + ".pty");
  if (pty.empty()) {
    std::fprintf(stderr, "chaos: the virtual reader gave no pty\n");
    Reap(ptySim, SIGTERM);
    return 2;
  }
  std::printf("chaos soak: %ld transactions, seed %u\n", transactions, seed);
  int result = 1;
  {
    Ser2netServer ser2net(pty);
    SimTcpServer sim(work + ".tcp");
    CuttingProxy proxy(seed);
    const Figures before = Sample();
    Print("start", before);
    Lane lane({{&ser2net, true, "ser2net rfc2217"},
               {&sim, true, "vqhw-sim rfc2217"},
               {&ser2net, false, "ser2net socket"},
               {&sim, false, "vqhw-sim socket"}},
              proxy, seed);
    const auto start = Clock::now();
    lane.Run(transactions);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    proxy.WaitIdle();
    const Figures after = Sample();
    Print("end", after);
    lane.Report();
    std::printf("%.1f s, %.0f transactions a second\n", seconds, transactions / seconds);
    const bool flat = after.descriptors == before.descriptors && after.threads == before.threads;
    std::printf("descriptors and threads %s\n", flat ? "flat" : "NOT flat");
    result = lane.Passed() && flat ? 0 : 1;
  }
  Reap(ptySim, SIGTERM);
  std::remove((work + ".pty").c_str());
  std::remove((work + ".tcp").c_str());
  return result;
}
