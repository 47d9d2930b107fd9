#include "tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

namespace vqsim::testing {

uint16_t PortOf(const std::string& url) {
  return static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
}

TcpClient::TcpClient(const std::string& url) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (!fd_) throw std::system_error(errno, std::generic_category(), "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(PortOf(url));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::system_error(errno, std::generic_category(), "connect " + url);
  }
  const int yes = 1;
  ::setsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

void TcpClient::Write(const std::vector<uint8_t>& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::send(fd_.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) throw std::system_error(errno, std::generic_category(), "send");
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> TcpClient::Read(size_t expected, std::chrono::milliseconds window) {
  const auto deadline = std::chrono::steady_clock::now() + window;
  std::vector<uint8_t> bytes;
  while (bytes.size() < expected) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{fd_.get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t count = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (count <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + count);
  }
  return bytes;
}

bool TcpClient::ClosedWithin(std::chrono::milliseconds window) {
  const auto deadline = std::chrono::steady_clock::now() + window;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{fd_.get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t count = ::recv(fd_.get(), buffer, sizeof buffer, 0);
    if (count <= 0) return true;
  }
}

}  // namespace vqsim::testing
