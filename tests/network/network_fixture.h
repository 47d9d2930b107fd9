#pragma once
// A fresh library whose COM1 is a URL, the virtual reader behind it with
// a MIFARE ONE card in its field, and the library's trace in a file of the
// test's own.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "sim/cards/mifare/mifare_classic.h"
#include "sim/reader/reader_model.h"
#include "support/library_under_test.h"
#include "support/simulated_port.h"

namespace vqtest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class NetworkTest : public ::testing::Test {
 protected:
  NetworkTest() {
    for (int port = 1; port <= 2; ++port) NamePortMissing(port);
    ::setenv("VQHW_TRACE", tracePath_.c_str(), 1);
    reader.InsertCard(card);
  }
  ~NetworkTest() override {
    lib.Unload();
    ::unsetenv("VQHW_TRACE");
    std::remove(tracePath_.c_str());
  }

  void NameCom1(const std::string& url) { ::setenv("VQHW_COM1", url.c_str(), 1); }

  std::string Trace() const {
    std::ifstream file(tracePath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  // Activates the card and authenticates sector 1 with the factory key.
  void OpenSector1() {
    uint8_t record[5];
    ASSERT_EQ(lib.opencard(record), 0);
    ASSERT_EQ(lib.loadkey(0, 1, kFactoryKey), 0);
  }

  std::string ReadBlock(int block) {
    char text[33] = {};
    const int32_t result = lib.readblock_h(0, block, text);
    return result == 0 ? text : "result " + std::to_string(result);
  }

  static constexpr unsigned char kFactoryKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

  vqsim::VirtualReader reader;
  std::shared_ptr<vqsim::MifareClassic> card =
      std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44});
  LibraryUnderTest lib;

 private:
  std::string tracePath_ = ::testing::TempDir() + "vqhw-network-trace-" + std::to_string(::getpid()) + ".txt";
};

}  // namespace vqtest
