// What the tools keep between runs, run as programs: the virtual reader's
// state file in vqhw --sim and vqhw-sim, and a card saved by dump -o and
// written back by restore.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "vqhw_run.h"

namespace vqtest {
namespace {

using nlohmann::json;

constexpr const char* kData = "00112233445566778899AABBCCDDEEFF";
constexpr const char* kLaneKeyA = "A0A1A2A3A4A5";
constexpr const char* kLaneKeyB = "B0B1B2B3B4B5";

std::string Path(const std::string& name) {
  const std::string path = ::testing::TempDir() + name;
  std::filesystem::remove(path);
  return path;
}

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string BlockRead(const ProgramRun& run) {
  const json document = Document(run);
  return document.is_discarded() || !document.contains("blocks") ? run.out + run.err
                                                                 : document["blocks"][0]["data"].get<std::string>();
}

TEST(VqhwSimState, AWriteIsStillThereInTheNextRun) {
  const std::string state = Path("vqhw_state.json");
  ASSERT_EQ(Vqhw({"--sim-state", state, "write", "4", kData}).exitCode, 0);
  ASSERT_TRUE(std::filesystem::exists(state)) << "saved at the end of the run";
  EXPECT_EQ(BlockRead(Vqhw({"--sim-state", state, "--json", "read", "4"})), kData);
  EXPECT_EQ(BlockRead(Vqhw({"--sim", "--json", "read", "4"})), std::string(32, '0')) << "--sim alone forgets";
  {
    const ProgramRun run = Vqhw({"--sim-state", state, "--sim-card", "cpu", "card"});
    EXPECT_EQ(run.exitCode, 64) << "the state file already holds the field";
    EXPECT_NE(run.err.find("--sim-card"), std::string::npos) << run.err;
  }

  // A malformed state file is refused and left as it is, never overwritten.
  const std::string broken = "{\"cards\": [\n";
  std::ofstream(state) << broken;
  const ProgramRun refused = Vqhw({"--sim-state", state, "card"});
  EXPECT_EQ(refused.exitCode, 65);
  EXPECT_NE(refused.err.find("line 2"), std::string::npos) << refused.err;
  EXPECT_EQ(Contents(state), broken);
  std::filesystem::remove(state);
}

TEST(VqhwSimState, VqhwSimSavesOnExitWhatVqhwThenReads) {
  const std::string state = Path("vqhw_sim_state.json");
  {
    SimServer sim({"--state", state});
    ASSERT_FALSE(sim.Path().empty());
    ASSERT_EQ(Vqhw({"--device", sim.Path(), "write", "8", kData}).exitCode, 0);
    ASSERT_EQ(sim.Stop(), 0);
  }
  EXPECT_EQ(BlockRead(Vqhw({"--sim-state", state, "--json", "read", "8"})), kData) << "one format for both";
  SimServer again({"--state", state});
  EXPECT_EQ(BlockRead(Vqhw({"--device", again.Path(), "--json", "read", "8"})), kData);
  EXPECT_EQ(again.Stop(), 0);
  std::filesystem::remove(state);
}

// The lane example's card in a state file, so that each run sees the last one's writes.
class SavedCard : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::copy_file(Example("lane.json"), state_); }
  void TearDown() override { std::filesystem::remove(state_); }
  ProgramRun Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--sim-state", state_});
    return Vqhw(std::move(arguments));
  }

  // A file of this test's own: ctest runs the tests of this fixture side by side.
  std::string state_ =
      Path(std::string("vqhw_saved_card_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".json");
};

TEST_F(SavedCard, DumpSavesKeysBlocksAndAccessBitsAsJsonAndBinary) {
  const std::string asJson = Path("vqhw_card.json"), asBinary = Path("vqhw_card.bin");
  ASSERT_EQ(Run({"dump", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA, "-o", asJson}).exitCode, 0);
  ASSERT_EQ(Run({"dump", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA, "-o", asBinary}).exitCode, 0);

  const json saved = json::parse(Contents(asJson));
  EXPECT_EQ(saved["serial"], "3A5F0C21");
  const json& sector1 = saved["sectors"][1];
  EXPECT_EQ(sector1["key_a"], kLaneKeyA) << "the key that read it, though the card shows zeros";
  EXPECT_TRUE(sector1["key_b"].is_null()) << "key A may not read key B in this sector";
  EXPECT_EQ(sector1["access"]["bytes"], "78778869");
  EXPECT_EQ(sector1["blocks"][0]["data"], "4C414E45303720454E54525920202020");

  const std::string bytes = Contents(asBinary);
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(bytes.substr(64, 6), "LANE07") << "block 4 at its place";
  EXPECT_EQ(bytes.substr(112, 6), "\xA0\xA1\xA2\xA3\xA4\xA5") << "trailer 1 with its key A";
  EXPECT_EQ(bytes.substr(118, 4), "\x78\x77\x88\x69");

  // A binary form cannot mark unreadable blocks: not written for a partial dump.
  const std::string partial = Path("vqhw_partial.bin");
  const ProgramRun refused = Run({"dump", "-o", partial});
  EXPECT_EQ(refused.exitCode, 103) << "the exit code of the first unreadable sector";
  EXPECT_NE(refused.err.find("JSON"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(partial));
  const ProgramRun unwritable = Run({"dump", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA, "-o", "/nonexistent/card.json"});
  EXPECT_EQ(unwritable.exitCode, 73) << unwritable.err;
  std::filesystem::remove(asJson);
  std::filesystem::remove(asBinary);
}

TEST_F(SavedCard, RestoreWritesTheDataBlocksBackWithTheKeysThatMay) {
  const std::string saved = Path("vqhw_restore.json");
  ASSERT_EQ(Run({"dump", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA, "-o", saved}).exitCode, 0);
  const std::string block5 = json::parse(Contents(saved))["sectors"][1]["blocks"][1]["data"];
  ASSERT_NE(block5, kData);
  ASSERT_EQ(Run({"write", "5", kData, "-b", "-k", kLaneKeyB}).exitCode, 0);
  ASSERT_EQ(Run({"write", "12", kData}).exitCode, 0);

  // Key A, which the dump knows, may not write sector 1: the other sectors are written all the same.
  const ProgramRun keyA = Run({"--json", "restore", saved});
  EXPECT_EQ(keyA.exitCode, 115) << keyA.err;
  EXPECT_EQ(Document(keyA)["sectors"][1]["error"]["result"], -115) << keyA.out;
  EXPECT_EQ(BlockRead(Run({"--json", "read", "12"})), std::string(32, '0')) << "sector 3 restored";
  EXPECT_EQ(BlockRead(Run({"--json", "read", "5", "-k", kLaneKeyA})), kData);

  const ProgramRun keyB = Run({"restore", saved, "-b", "-k", kLaneKeyB});
  EXPECT_EQ(keyB.exitCode, 0) << "key B for sector 1, the dump's keys for the others: " << keyB.out << keyB.err;
  EXPECT_EQ(BlockRead(Run({"--json", "read", "5", "-k", kLaneKeyA})), block5);
  EXPECT_EQ(BlockRead(Run({"--json", "read", "4", "-k", kLaneKeyA})), "4C414E45303720454E54525920202020");
  std::filesystem::remove(saved);
}

TEST_F(SavedCard, RestoreWritesTrailersOnlyWithForceAndSoundAccessBits) {
  const std::string saved = Path("vqhw_trailers.bin");
  ASSERT_EQ(Run({"dump", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA, "-o", saved}).exitCode, 0);
  std::string bytes = Contents(saved);
  // Sector 3: a new key A; sector 4: access bits that disagree with their inverses.
  bytes.replace(4 * 16 * 3 + 48, 6, "\x11\x22\x33\x44\x55\x66");
  bytes.replace(4 * 16 * 4 + 48 + 6, 4, "\xFF\x07\x81\x69");
  std::ofstream(saved, std::ios::binary | std::ios::trunc) << bytes;

  const ProgramRun kept = Run({"--json", "restore", saved, "-k", "FFFFFFFFFFFF"});
  EXPECT_EQ(kept.exitCode, 115) << "sector 1 is written with key B only: " << kept.err;
  EXPECT_NE(Document(kept)["sectors"][3]["trailer"].get<std::string>().find("--force"), std::string::npos);
  EXPECT_EQ(Run({"read", "12"}).exitCode, 0) << "the factory key still opens sector 3";

  // The card knows sector 3's old key only: -k gives it.
  const ProgramRun forced = Run({"--json", "restore", "--force", saved, "-k", "FFFFFFFFFFFF"});
  EXPECT_EQ(forced.exitCode, 115) << forced.err;
  const json sectors = Document(forced)["sectors"];
  EXPECT_EQ(sectors[3]["trailer"], "written");
  EXPECT_NE(sectors[4]["trailer"].get<std::string>().find("block the sector"), std::string::npos);
  EXPECT_EQ(Run({"read", "12", "-k", "112233445566"}).exitCode, 0) << "sector 3's new key A";
  EXPECT_EQ(Run({"read", "16"}).exitCode, 0) << "sector 4 kept its trailer and is still open";

  // Files that are not a card image.
  std::ofstream(saved, std::ios::trunc) << "{\"serial\": \"3A5F0C21\",\n \"sectors\": [}";
  const ProgramRun malformed = Run({"restore", saved});
  EXPECT_EQ(malformed.exitCode, 65);
  EXPECT_NE(malformed.err.find("line 2, column 14"), std::string::npos) << malformed.err;
  std::ofstream(saved, std::ios::trunc) << "short";
  EXPECT_EQ(Run({"restore", saved}).exitCode, 65);
  EXPECT_EQ(Run({"restore", "/nonexistent/card.bin"}).exitCode, 66);
  std::filesystem::remove(saved);
}

}  // namespace
}  // namespace vqtest
