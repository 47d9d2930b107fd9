// vqhw's card, block, dump, trailer, file and APDU commands, run as a
// program against the virtual reader: the built-in one, or a vqhw-sim that
// keeps its card between runs.

#include <gtest/gtest.h>

#include <fstream>

#include "vqhw_run.h"

namespace vqtest {
namespace {

using nlohmann::json;

constexpr const char* kLaneKeyA = "A0A1A2A3A4A5";

// A vqhw-sim with the lane example's card, and vqhw runs against it.
class VqhwCard : public ::testing::Test {
 protected:
  ProgramRun Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--device", sim_.Path()});
    return Vqhw(std::move(arguments));
  }
  json RunJson(std::vector<std::string> arguments, int expectedExit = 0) {
    arguments.insert(arguments.begin(), "--json");
    const ProgramRun run = Run(std::move(arguments));
    EXPECT_EQ(run.exitCode, expectedExit) << run.out << run.err;
    const json document = Document(run);
    EXPECT_FALSE(document.is_discarded()) << run.out;
    return document;
  }

  SimServer sim_{{"--field", Example("lane.json")}};
};

TEST_F(VqhwCard, CardShowsSerialSakAndKind) {
  const json card = RunJson({"card"});
  EXPECT_EQ(card["serial"], "3A5F0C21");
  EXPECT_EQ(card["sak"], 8);
  EXPECT_EQ(card["kind"], "MIFARE ONE (1K)");
}

TEST_F(VqhwCard, ReadsBlocksWithTheRightKeyAndFailsWithTheWrongOne) {
  const json read = RunJson({"read", "4", "5", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA});
  ASSERT_EQ(read["blocks"].size(), 2u);
  EXPECT_EQ(read["blocks"][0]["block"], 4);
  EXPECT_EQ(read["blocks"][0]["data"], "4C414E45303720454E54525920202020");  // "LANE07 ENTRY    "

  const ProgramRun refused = Run({"read", "4"});
  EXPECT_EQ(refused.exitCode, 103);
  EXPECT_NE(refused.err.find("-103"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("用户卡认证错误"), std::string::npos) << refused.err;
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << "one line";
}

TEST_F(VqhwCard, WriteThenReadBackAcrossRuns) {
  const std::string data = "00112233445566778899AABBCCDDEEFF";
  // Sector 1 lets key B write its data blocks, not key A.
  EXPECT_EQ(Run({"write", "6", data, "-k", kLaneKeyA}).exitCode, 115);
  ASSERT_EQ(Run({"write", "6", data, "-b", "-k", "B0B1B2B3B4B5"}).exitCode, 0);
  EXPECT_EQ(RunJson({"read", "6", "-k", kLaneKeyA})["blocks"][0]["data"], data);
}

TEST_F(VqhwCard, WriteRefusesWhatWouldHarmTheCard) {
  EXPECT_EQ(Run({"write", "4", "0011"}).exitCode, 64) << "short data";
  EXPECT_EQ(Run({"write", "4", "00112233445566778899AABBCCDDEEFG"}).exitCode, 64) << "not hex";
  const std::string trailer = "A0A1A2A3A4A5FF078069B0B1B2B3B4B5";
  EXPECT_EQ(Run({"write", "7", trailer, "-b", "-k", "B0B1B2B3B4B5"}).exitCode, 64) << "a trailer needs --force";
  const std::string blocking = "A0A1A2A3A4A5FF078169B0B1B2B3B4B5";  // access bits disagree with inverses
  EXPECT_EQ(Run({"write", "7", blocking, "--force", "-b", "-k", "B0B1B2B3B4B5"}).exitCode, 64);
  EXPECT_EQ(Run({"write", "64", trailer}).exitCode, 64) << "no block 64";
}

TEST_F(VqhwCard, DumpMarksWhatItCannotReadAndGoesOn) {
  const json partial = RunJson({"dump"}, 103);
  ASSERT_EQ(partial["sectors"].size(), 16u);
  EXPECT_EQ(partial["sectors"][0]["blocks"][0]["data"].get<std::string>().substr(0, 8), "3A5F0C21");
  for (int sector : {1, 2}) {
    const json& blocks = partial["sectors"][sector]["blocks"];
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0]["error"]["result"], -103) << sector;
  }
  EXPECT_TRUE(partial["sectors"][3]["blocks"][0].contains("data")) << "the dump went on after sector 2";

  const json whole = RunJson({"dump", "-k", "FFFFFFFFFFFF", "-k", kLaneKeyA});
  for (const json& sector : whole["sectors"]) {
    for (const json& block : sector["blocks"]) EXPECT_TRUE(block.contains("data")) << sector.dump();
  }
  EXPECT_EQ(whole["sectors"][1]["key"], kLaneKeyA);
  EXPECT_EQ(whole["sectors"][2]["blocks"][0]["data"], "504C41544520412D3132333435202020");

  const ProgramRun text = Run({"dump"});
  EXPECT_NE(text.out.find("?? unreadable"), std::string::npos);
  EXPECT_EQ(text.err.find('['), std::string::npos) << "no progress bar when stderr is no terminal";
}

TEST_F(VqhwCard, TrailerDecodesTheAccessBits) {
  const json trailer = RunJson({"trailer", "1", "-k", kLaneKeyA});
  EXPECT_EQ(trailer["block"], 7);
  EXPECT_EQ(trailer["key_a"], "000000000000") << "key A always reads as zeros";
  EXPECT_EQ(trailer["access"]["bytes"], "78778869");
  ASSERT_TRUE(trailer["access"]["consistent"].get<bool>());
  EXPECT_EQ(trailer["access"]["blocks"][0]["conditions"], "100");
  EXPECT_EQ(trailer["access"]["blocks"][0]["rights"]["write"], "B");
  EXPECT_EQ(trailer["access"]["blocks"][3]["conditions"], "011");

  const json offline = Document(Vqhw({"--json", "trailer", "--bits", "FF0781"}));
  EXPECT_FALSE(offline["access"]["consistent"].get<bool>());
  EXPECT_EQ(Vqhw({"trailer"}).exitCode, 64) << "neither a sector nor bits";
}

TEST_F(VqhwCard, FileWriteThenRead) {
  // File 3: the data blocks of sector 3, factory keys.
  const json written = RunJson({"file", "write", "3", "4142434445", "--offset", "14"});
  EXPECT_EQ(written["written"], "4142434445");
  const json read = RunJson({"file", "read", "3", "--offset", "12", "--length", "8"});
  EXPECT_EQ(read["data"], "0000414243444500") << "across the border of blocks 12 and 13";
  EXPECT_EQ(RunJson({"file", "read", "3"})["data"].get<std::string>().size(), 96u);
  EXPECT_EQ(Run({"file", "read", "3", "--offset", "40", "--length", "9"}).exitCode, 64);
  EXPECT_EQ(Run({"file", "read", "1"}).exitCode, 103) << "sector 1 has its own keys";
}

TEST(VqhwApdu, PsamAndCpuCardAnswerWithStatusWordsAndTheirTexts) {
  const ProgramRun sam = Vqhw({"--sim", "--json", "apdu", "sam", "00A40000023F00", "00B0960006", "00B0990000"});
  ASSERT_EQ(sam.exitCode, 0) << sam.err;
  const json exchanges = Document(sam)["exchanges"];
  ASSERT_EQ(exchanges.size(), 3u) << sam.out;
  EXPECT_EQ(exchanges[0]["sw"], "9000");
  EXPECT_EQ(exchanges[0]["sw_text"], "EXECUTED SUCCESSFULLY");
  EXPECT_EQ(exchanges[1]["data"], "010203040506") << "the terminal number";
  EXPECT_NE(exchanges[2]["sw"], "9000") << "a file that is not there";
  EXPECT_NE(exchanges[2]["sw_text"], "UNKNOWN SW1 and SW2");

  const ProgramRun pro = Vqhw({"--sim-field", Example("cpu-card.json"), "apdu", "pro",
                               "00A404000 6A00000099901", "805C000204"});
  ASSERT_EQ(pro.exitCode, 64) << "a digit without its partner";
  const ProgramRun balance = Vqhw({"--sim-field", Example("cpu-card.json"), "--json", "apdu", "pro",
                                   "00A4040006A00000099901", "805C000204"});
  ASSERT_EQ(balance.exitCode, 0) << balance.err;
  EXPECT_EQ(Document(balance)["exchanges"][1]["data"], "000061A8") << "the example's balance, 25000";

  const ProgramRun noCpuCard = Vqhw({"--sim", "apdu", "pro", "805C000204"});
  EXPECT_EQ(noCpuCard.exitCode, 101) << "a MIFARE ONE card speaks no APDUs";
}

}  // namespace
}  // namespace vqtest
