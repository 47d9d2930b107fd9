#pragma once
// A serial device server on the network as a port: one TCP connection,
// made again by the next write when it broke.

#include <memory>

#include "serial/net/endpoint.h"
#include "serial/port.h"
#include "serial/ports/line_protocol.h"

namespace vqhw {

// Connects to `endpoint`, speaking `protocol` (made anew for every
// connection); the results of OpenPort.
ReaderStatus OpenNetworkPort(const net::Endpoint& endpoint, std::unique_ptr<LineProtocol> (*protocol)(),
                             const LineSettings& settings, std::unique_ptr<Port>& port);

}  // namespace vqhw
