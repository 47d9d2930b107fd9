#include "sim/hosts/serial_device_host.h"

#include "sim/hosts/platform/serial_device.h"

namespace vqsim {

SerialDeviceHost::SerialDeviceHost(VirtualReader& reader, const std::string& devicePath, Events events)
    : path_(devicePath),
      lost_(events.lost),
      device_(io::OpenSerialDevice(devicePath)),
      server_(reader, std::move(events), LineServer::Wire::kOwn) {
  thread_ = std::thread([this] {
    io::WakeOnTime();
    if (server_.Serve(device_, stop_) == LineServer::End::kLineGone && lost_) lost_(path_ + " went away");
  });
}

SerialDeviceHost::~SerialDeviceHost() {
  stop_.Set();
  thread_.join();
}

}  // namespace vqsim
