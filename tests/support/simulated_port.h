#pragma once
// A virtual reader named as port n through VQHW_COM<n> for as long as this
// object lives: on a pseudo-terminal, or when VQHW_TEST_LINE says socket or
// rfc2217, on a TCP port of this machine, which the library then opens by
// its URL (the same tests over both kinds of port).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/hosts/line_host.h"
#include "sim/reader/reader_model.h"

namespace vqtest {

class SimulatedPort {
 public:
  explicit SimulatedPort(int portNumber = 1);
  ~SimulatedPort();

  vqsim::VirtualReader reader;

  // The command frames the reader received, as byte strings.
  std::vector<std::vector<uint8_t>> Frames() const;
  std::vector<uint8_t> Commands() const;  // their command codes
  // The port's name: the pty's path, or the URL.
  const std::string& Path() const { return path_; }
  // Closes the line: the reader goes away like a pulled cable.
  void Unplug();

 private:
  std::string variable_;
  std::unique_ptr<vqsim::LineHost> host_;
  std::string path_;
};

// Names port n as a path where no device exists.
void NamePortMissing(int portNumber);

// "FF 00 70" -> {0xFF, 0x00, 0x70}
std::vector<uint8_t> Bytes(const std::string& hex);

// Process CPU time (user + system) so far.
std::chrono::microseconds ProcessCpuTime();

}  // namespace vqtest
