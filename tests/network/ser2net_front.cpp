#include "network/ser2net_front.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "network/tcp_peer.h"

namespace vqtest {

namespace {

bool Listening(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

bool Ser2netFront::Installed() { return std::system("command -v ser2net > /dev/null 2>&1") == 0; }

Ser2netFront::Ser2netFront(std::string device, bool charDelay, uint16_t rfc2217Port, uint16_t rawPort)
    : device_(std::move(device)),
      work_((std::filesystem::temp_directory_path() /
             ("vqhw-ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(reinterpret_cast<uintptr_t>(this))))
                .string()),
      rfc2217Port_(rfc2217Port != 0 ? rfc2217Port : ClosedPort()),
      rawPort_(rawPort != 0 ? rawPort : ClosedPort()) {
  const std::string rfc = std::to_string(rfc2217Port_), raw = std::to_string(rawPort_);
  const char* delay = charDelay ? "chardelay" : "nochardelay";
  const char* argv[] = {VQHW_SER2NET_FRONT, device_.c_str(), rfc.c_str(), raw.c_str(), work_.c_str(), delay, nullptr};
  std::filesystem::create_directories(work_);
  const std::string log = work_ + "/ser2net.log";
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot start " VQHW_SER2NET_FRONT);
  if (pid_ == 0) {
    // ser2net ends with this process, however it ends, and writes to a
    // file of its own rather than to a pipe that would outlive it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    ::execv(VQHW_SER2NET_FRONT, const_cast<char**>(argv));
    ::_exit(127);
  }
  // The connections ser2net accepts before it would let go of the device
  // are made for this check only: one is enough to see it listens.
  for (int tries = 0; tries < 100 && !(Listening(rfc2217Port_) && Listening(rawPort_)); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!Listening(rawPort_)) {
    Stop();
    throw std::runtime_error("ser2net does not listen on 127.0.0.1:" + raw);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the check's connections are let go of
}

Ser2netFront::~Ser2netFront() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(work_, ignored);
}

std::string Ser2netFront::Url(bool telnet) const {
  return telnet ? "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_)
                : "socket://127.0.0.1:" + std::to_string(rawPort_);
}

void Ser2netFront::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace vqtest
