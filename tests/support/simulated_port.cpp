#include "support/simulated_port.h"

#include <sys/resource.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "sim/hosts/pty_host.h"
#include "sim/hosts/tcp/tcp_host.h"

namespace vqtest {

namespace {

std::unique_ptr<vqsim::LineHost> LineFor(vqsim::VirtualReader& reader) {
  const char* line = std::getenv("VQHW_TEST_LINE");
  if (line == nullptr || std::string(line) == "pty") return std::make_unique<vqsim::PtyHost>(reader);
  std::string why;
  const auto url = vqsim::ListenUrl::Parse(std::string(line) + "://127.0.0.1:0", why);
  if (!url) throw std::invalid_argument("VQHW_TEST_LINE: pty, socket or rfc2217, not " + std::string(line));
  return std::make_unique<vqsim::TcpHost>(reader, *url, vqsim::LineHost::Events{});
}

}  // namespace

SimulatedPort::SimulatedPort(int portNumber)
    : variable_("VQHW_COM" + std::to_string(portNumber)), host_(LineFor(reader)), path_(host_->PortName()) {
  ::setenv(variable_.c_str(), path_.c_str(), 1);
}

SimulatedPort::~SimulatedPort() { ::unsetenv(variable_.c_str()); }

void SimulatedPort::Unplug() { host_.reset(); }

std::vector<std::vector<uint8_t>> SimulatedPort::Frames() const {
  std::vector<std::vector<uint8_t>> frames;
  for (const auto& f : reader.ReceivedFrames()) frames.push_back(f.bytes);
  return frames;
}

std::vector<uint8_t> SimulatedPort::Commands() const {
  std::vector<uint8_t> codes;
  for (const auto& f : reader.ReceivedFrames()) codes.push_back(f.command());
  return codes;
}

void NamePortMissing(int portNumber) {
  ::setenv(("VQHW_COM" + std::to_string(portNumber)).c_str(), "/nonexistent/vqhw-no-port", 1);
}

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::istringstream in(hex);
  std::vector<uint8_t> bytes;
  unsigned value;
  while (in >> std::hex >> value) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

std::chrono::microseconds ProcessCpuTime() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto micros = [](const timeval& t) { return t.tv_sec * 1000000LL + t.tv_usec; };
  return std::chrono::microseconds(micros(usage.ru_utime) + micros(usage.ru_stime));
}

}  // namespace vqtest
