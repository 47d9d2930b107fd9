// vqhw-sim as a lane program meets it: started as a process, its path read
// from its output, and the library (linked here) opening it as a port.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <fstream>

#include "VqhwLib.h"
#include "vqhw_run.h"

namespace vqtest {
namespace {

using nlohmann::json;

constexpr int32_t kPort = 7;

std::string Hex(const unsigned char* bytes, size_t size) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    text += digits;
  }
  return text;
}

// Points port 7 at the path for the length of a test.
class PortNamed {
 public:
  explicit PortNamed(const std::string& path) { ::setenv("VQHW_COM7", path.c_str(), 1); }
  ~PortNamed() { ::unsetenv("VQHW_COM7"); }
};

TEST(VqhwSimProgram, TheLibraryOpensItAndReadsTheExampleCard) {
  SimServer sim({"--field", Example("lane.json")});
  ASSERT_EQ(sim.Path().rfind("/dev/pts/", 0), 0u) << sim.Path();
  PortNamed port(sim.Path());
  ASSERT_EQ(open_reader(kPort, 0), 0);

  unsigned char record[5] = {};
  ASSERT_EQ(opencard(record), 0);
  EXPECT_EQ(record[0], 0x3A);
  EXPECT_EQ(record[4], 0x08);
  const unsigned char key[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  ASSERT_EQ(loadkey(0, 2, key), 0);
  char text[40] = {};
  ASSERT_EQ(readblock_h(0, 8, text), 0);
  EXPECT_STREQ(text, "504C41544520412D3132333435202020");

  char reply[64] = {}, sw[8] = {};
  ASSERT_EQ(SAM_reset_h(), 0);
  ASSERT_EQ(SAM_COMMAND_H("00B0960006", reply, sw), 0);
  EXPECT_STREQ(reply, "000000000007") << "the example's terminal number";
  EXPECT_EQ(close_reader(), 0);
  EXPECT_EQ(sim.Stop(), 0);
}

// A PSAM whose profile makes it answer READ BINARY after 700 ms is within
// the library's 800 ms frame bound: one attempt. At 900 ms the first
// attempt runs out at 800 ms and the library sends the command again,
// whose wait the late answer (same sequence number) then ends.
TEST(VqhwSimProgram, TheFrameBoundHoldsAgainstASlowPsam) {
  for (const int psamMs : {700, 900}) {
    const std::string path = ::testing::TempDir() + "vqhw_sim_slow_psam.json";
    std::ofstream(path) << R"({"timing": {"psam": {"B0": )" << psamMs << "}}}";
    SimServer sim({"--field", path});
    PortNamed port(sim.Path());
    ASSERT_EQ(open_reader(kPort, 0), 0);
    char reply[64] = {}, sw[8] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SAM_COMMAND_H("00B0960006", reply, sw), 0) << psamMs << " ms";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(ms.count(), psamMs);
    if (psamMs < 800) {
      EXPECT_LT(ms.count(), 800) << "answered within the bound, no second attempt";
    } else {
      EXPECT_LT(ms.count(), 800 + psamMs) << "the first attempt's answer ends the second's wait";
    }
    close_reader();
    EXPECT_EQ(sim.Stop(), 0);
    std::remove(path.c_str());
  }
}

TEST(VqhwSimProgram, ItsFaultOptionsReachTheLibrary) {
  SimServer noPsam({"--no-psam"});
  PortNamed port(noPsam.Path());
  EXPECT_EQ(open_reader(kPort, 0), VQHW_NO_PSAM);

}

// Bare vqhw-sim and vqhw --sim serve the same default field: the MIFARE ONE
// card, or on request the CPU card, and the PSAM.
TEST(VqhwSimProgram, ServesTheToolsDefaultField) {
  const json builtIn = Document(Vqhw({"--sim", "--json", "card"}));
  for (const auto& [card, sak] : {std::pair{"mifare-one", 0x08}, std::pair{"cpu", 0x20}}) {
    SimServer sim({"--card", card});
    PortNamed port(sim.Path());
    ASSERT_EQ(open_reader(kPort, 0), 0) << card << ": the PSAM answers its reset";
    unsigned char record[5] = {};
    ASSERT_EQ(opencard(record), 0) << card;
    EXPECT_EQ(record[4], sak) << card;
    if (sak == 0x08) {
      EXPECT_EQ(Hex(record, 4), builtIn["serial"].get<std::string>()) << "the same card as vqhw --sim";
    }
    close_reader();
  }
  const json cpu = Document(Vqhw({"--sim", "--sim-card", "cpu", "--json", "card"}));
  EXPECT_EQ(cpu["sak"], 0x20);
  const ProgramRun both = RunProgram({VQHW_SIM_TOOL, "--card", "cpu", "--field", Example("lane.json")});
  EXPECT_EQ(both.exitCode, 64) << "--card cannot apply to a field file";
  EXPECT_NE(both.err.find("--card"), std::string::npos) << both.err;
}

TEST(VqhwSimProgram, RefusesABadFieldFileWithItsPlace) {
  const std::string path = ::testing::TempDir() + "vqhw_sim_bad_field.json";
  std::ofstream(path) << R"({"cards": [{"kind": "mifare-one", "sectors": {"1": {"accessBits": "FF078169"}}}]})";
  const ProgramRun run = RunProgram({VQHW_SIM_TOOL, "--field", path}, std::chrono::seconds(5));
  EXPECT_EQ(run.exitCode, 65) << "a malformed field file";
  EXPECT_TRUE(run.out.empty()) << "no path is served";
  EXPECT_NE(run.err.find("cards[0].sectors.1.accessBits"), std::string::npos) << run.err;
  std::remove(path.c_str());
}

// The scenario reaches the program: two cards, then a clone of the one
// activated; a scenario that cannot run is refused with its place.
TEST(VqhwSimProgram, RunsAScenarioFileAndRefusesABadOne) {
  SimServer sim({"--scenario", Example("scenarios/two-cards.json")});
  PortNamed port(sim.Path());
  ASSERT_EQ(open_reader(kPort, 0), 0);
  unsigned char record[5] = {};
  ASSERT_EQ(opencard(record), 0);
  EXPECT_EQ(record[0], 0x01) << "the card anticollision finds";
  EXPECT_EQ(opencard(record), VQHW_NO_CARD) << "its clone came: the cards collide";
  close_reader();
  EXPECT_EQ(sim.Stop(), 0);

  const std::string path = ::testing::TempDir() + "vqhw_sim_bad_scenario.json";
  std::ofstream(path) << R"({"events": [{"at": 10, "tear": "done"}]})";
  const ProgramRun run = RunProgram({VQHW_SIM_TOOL, "--scenario", path}, std::chrono::seconds(5));
  EXPECT_EQ(run.exitCode, 65) << "a malformed scenario file";
  EXPECT_TRUE(run.out.empty()) << "no path is served";
  EXPECT_NE(run.err.find("events[0].tear"), std::string::npos) << run.err;
  std::remove(path.c_str());
}

}  // namespace
}  // namespace vqtest
