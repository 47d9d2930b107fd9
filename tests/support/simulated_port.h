#pragma once
// A virtual reader on a pseudo-terminal, named as port n through VQHW_COM<n>
// for as long as this object lives.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/hosts/pty_host.h"
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
  const std::string& Path() const { return host_->SlavePath(); }
  // Closes the pseudo-terminal: the reader goes away like a pulled cable.
  void Unplug();

 private:
  std::string variable_;
  std::unique_ptr<vqsim::PtyHost> host_;
};

// Names port n as a path where no device exists.
void NamePortMissing(int portNumber);

// "FF 00 70" -> {0xFF, 0x00, 0x70}
std::vector<uint8_t> Bytes(const std::string& hex);

// Process CPU time (user + system) so far.
std::chrono::microseconds ProcessCpuTime();

}  // namespace vqtest
