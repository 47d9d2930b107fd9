#pragma once
// What a network port speaks on its connection: the reader's bytes as they
// are (socket://), or telnet with the COM-PORT option (rfc2217://). One
// object per connection, made anew when the port connects again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/reader_status.h"
#include "serial/line_settings.h"
#include "serial/net/tcp_socket.h"

namespace vqhw {

class LineProtocol {
 public:
  virtual ~LineProtocol() = default;

  // Runs on a fresh connection before the port uses it: whatever the
  // protocol agrees with the server, all by `deadline`. 0, or kCannotOpen
  // or kSettingsRejected with the reason in the trace.
  virtual ReaderStatus Start(net::TcpSocket& socket, const LineSettings& settings,
                             net::Clock::time_point deadline) = 0;
  // Appends what carries `data` to the server; when `purgeFirst`, the
  // server is asked to drop what it holds before it.
  virtual void Encode(std::span<const uint8_t> data, bool purgeFirst, std::vector<uint8_t>& out) = 0;
  // Appends what asks the server for new line settings (nothing, where the
  // protocol cannot carry them).
  virtual void EncodeSettings(const LineSettings& settings, std::vector<uint8_t>& out) = 0;
  // Takes bytes from the server: the reader's bytes go to `data` (room for
  // `count`) and their number is returned; answers owed go to `replies`.
  virtual size_t Decode(const uint8_t* input, size_t count, uint8_t* data, std::vector<uint8_t>& replies) = 0;
};

std::unique_ptr<LineProtocol> MakeRawLine();
std::unique_ptr<LineProtocol> MakeRfc2217Line();

}  // namespace vqhw
