#pragma once
// A ReaderDevice of its own against the virtual reader on COM1 (the other
// low ports name no device), opened before each test and closed after it.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "api/reader_device.h"
#include "support/simulated_port.h"

namespace vqhw {

class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() {
    for (int port = 1; port <= 4; ++port) vqtest::NamePortMissing(port);
    com1.emplace(1);
  }
  ~DeviceTest() override { device->link.Close(); }

  void SetUp() override {
    ASSERT_EQ(device->link.Open(1), status::kOk);
    com1->reader.ClearReceived();
  }

  std::optional<vqtest::SimulatedPort> com1;
  std::unique_ptr<ReaderDevice> device = std::make_unique<ReaderDevice>();
};

}  // namespace vqhw
