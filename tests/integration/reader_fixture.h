#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "support/library_under_test.h"
#include "support/simulated_port.h"

namespace vqtest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// A fresh library with a virtual reader on COM1; the other ports name
// nothing, whatever devices this machine has.
class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() {
    for (int port = 1; port <= 4; ++port) NamePortMissing(port);
    com1.emplace(1);
  }

  // Opens COM1 and forgets the frames of the open sequence.
  void OpenReader() {
    ASSERT_EQ(lib.open_reader(1, 0), 0);
    com1->reader.ClearReceived();
  }

  std::optional<SimulatedPort> com1;
  LibraryUnderTest lib;
};

}  // namespace vqtest
