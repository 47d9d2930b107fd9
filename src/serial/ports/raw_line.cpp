// socket://: the reader's bytes as they are, nothing to agree.

#include <algorithm>

#include "serial/ports/line_protocol.h"

namespace vqhw {

namespace {

class RawLine final : public LineProtocol {
 public:
  ReaderStatus Start(net::TcpSocket&, const LineSettings&, net::Clock::time_point) override {
    return status::kOk;
  }
  void Encode(std::span<const uint8_t> data, bool, std::vector<uint8_t>& out) override {
    out.insert(out.end(), data.begin(), data.end());
  }
  void EncodeSettings(const LineSettings&, std::vector<uint8_t>&) override {}
  size_t Decode(const uint8_t* input, size_t count, uint8_t* data, std::vector<uint8_t>&) override {
    std::copy_n(input, count, data);
    return count;
  }
};

}  // namespace

std::unique_ptr<LineProtocol> MakeRawLine() { return std::make_unique<RawLine>(); }

}  // namespace vqhw
