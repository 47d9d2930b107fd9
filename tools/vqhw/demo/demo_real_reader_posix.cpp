#include "vqhw/demo/demo_line.h"
#include "vqhw/port_relay.h"
#include "vqhw/reader_session.h"
#include "vqhw/virtual_line.h"

namespace vqtool {

std::unique_ptr<DemoLine> DemoLine::RealReader(int port) {
  std::unique_ptr<DemoLine> line(new DemoLine());
  DemoLine* observer = line.get();
  auto relay = std::make_shared<PortRelay>(
      ReaderSession::DefaultDevice(port),
      [observer](LineDirection direction, std::span<const uint8_t> bytes) { observer->Observe(direction, bytes); });
  PointPortAt(port, relay->SlavePath());
  line->realLine_ = std::move(relay);
  return line;
}

}  // namespace vqtool
