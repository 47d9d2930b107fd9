// What a new user meets first, run as programs: the version, help, an
// unknown or misspelt command, refused arguments in the tools' own words,
// options that cannot apply, and the one exit-code table of both programs.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "vqhw_run.h"

namespace vqtest {
namespace {

// The parser's own phrases, which must never reach people.
bool SoundsLikeTheParser(const std::string& text) {
  for (const char* phrase : {"is required", "not in range", "Run with --help", "were not expected",
                             "Could not convert", "excludes", "A subcommand"}) {
    if (text.find(phrase) != std::string::npos) return true;
  }
  return false;
}

void ExpectRefused(const ProgramRun& run, std::initializer_list<const char*> named) {
  EXPECT_EQ(run.exitCode, 64) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line: " << run.err;
  EXPECT_FALSE(SoundsLikeTheParser(run.err)) << run.err;
  for (const char* part : named) EXPECT_NE(run.err.find(part), std::string::npos) << part << " in " << run.err;
}

TEST(VqhwCommandLine, VersionHelpAndTheNearestCommand) {
  for (const char* program : {VQHW_TOOL, VQHW_SIM_TOOL}) {
    const ProgramRun version = RunProgram({program, "--version"});
    EXPECT_EQ(version.exitCode, 0) << program;
    EXPECT_TRUE(std::regex_search(version.out, std::regex(R"(^vqhw(-sim)? \d+\.\d+\.\d+)"))) << version.out;
  }
  const ProgramRun help = Vqhw({"help"});
  ASSERT_EQ(help.exitCode, 0) << help.err;
  for (const char* command : {"read", "dump", "restore", "demo", "trace"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
  // A command's help lists the global options, which go before it.
  for (const std::vector<std::string>& asked : {std::vector<std::string>{"help", "read"}, {"read", "--help"}}) {
    const ProgramRun run = Vqhw(asked);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("blocks"), std::string::npos) << run.out;
    for (const char* global : {"--sim-field", "--device", "--json"}) {
      EXPECT_NE(run.out.find(global), std::string::npos) << global << " in the help of read";
    }
  }
  ExpectRefused(Vqhw({"inf"}), {"unknown command", "\"inf\"", "\"info\""});
  ExpectRefused(Vqhw({"trace", "durnp"}), {"\"durnp\"", "\"dump\""});
  ExpectRefused(Vqhw({"help", "rread"}), {"\"read\""});
  ExpectRefused(Vqhw({"frobnicate"}), {"\"frobnicate\"", "info"});
  ExpectRefused(Vqhw({"--prot", "3", "info"}), {"\"--prot\"", "\"--port\""});
}

TEST(VqhwCommandLine, RefusedArgumentsAreNamedWithWhatIsAccepted) {
  ExpectRefused(Vqhw({"read", "abc"}), {"blocks", "\"abc\"", "0 to 63"});
  ExpectRefused(Vqhw({"read", "64"}), {"blocks", "\"64\"", "0 to 63"});
  ExpectRefused(Vqhw({"apdu", "sam"}), {"apdus", "APDUs in hex"});
  ExpectRefused(Vqhw({"apdu"}), {"pro", "sam"});
  ExpectRefused(Vqhw({"card", "extra"}), {"\"extra\"", "vqhw card --help"});
  ExpectRefused(Vqhw({"--port", "100", "info"}), {"--port", "1 to 99"});
  ExpectRefused(Vqhw({"--sim", "--sim-timing", "slow", "card"}), {"--sim-timing", "real", "instant"});
  ExpectRefused(Vqhw({"status"}), {"code", "--sw"});
  ExpectRefused(Vqhw({"status", "x1"}), {"\"x1\"", "status code"});
  ExpectRefused(RunProgram({VQHW_SIM_TOOL, "--silent", "abc"}), {"--silent", "\"abc\""});
  ExpectRefused(RunProgram({VQHW_SIM_TOOL, "--frob"}), {"\"--frob\""});
}

TEST(VqhwCommandLine, OptionsThatCannotApplyAreRefusedWithTheReason) {
  ExpectRefused(Vqhw({"--port", "7", "demo"}), {"--port", "demo --port"});
  ExpectRefused(Vqhw({"--sim-field", Example("lane.json"), "demo"}), {"--sim-field", "demo"});
  ExpectRefused(Vqhw({"--device", "/dev/null", "status", "-101"}), {"--device", "status"});
  ExpectRefused(Vqhw({"--sim-timing", "instant", "info"}), {"--sim-timing", "--sim"});
  ExpectRefused(Vqhw({"--sim", "--device", "/dev/null", "card"}), {"--device", "--sim"});
  ExpectRefused(Vqhw({"--sim-field", Example("lane.json"), "--sim-card", "cpu", "card"}), {"--sim-card"});
  ExpectRefused(Vqhw({"--sim-field", Example("lane.json"), "--sim-state", "x.json", "card"}),
                {"--sim-field", "--sim-state"});
  // The record answers a replay: no field, fault or random of the reader would be used.
  for (const std::vector<std::string>& option :
       {std::vector<std::string>{"--late", "5"}, {"--silent", "1"}, {"--wrong-sequence", "1"}, {"--no-psam"},
        {"--card", "cpu"}, {"--seed", "7"}, {"--field", Example("lane.json")}, {"--state", "x.json"}}) {
    std::vector<std::string> arguments{VQHW_SIM_TOOL, "--replay", "session.record"};
    arguments.insert(arguments.end(), option.begin(), option.end());
    ExpectRefused(RunProgram(arguments), {"--replay", option[0].c_str(), "cannot apply"});
  }
  ExpectRefused(RunProgram({VQHW_SIM_TOOL, "--any-sequence"}), {"--any-sequence", "--replay"});
}

// The codes of `vqhw --help` and of both man pages, as "CODE meaning" rows.
std::set<std::string> CodesIn(const std::string& text, const std::regex& row) {
  std::set<std::string> codes;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), row); it != std::sregex_iterator(); ++it) {
    codes.insert((*it)[1]);
  }
  return codes;
}

std::string ExitStatusSection(const std::string& page) {
  std::ifstream file(std::string(VQHW_MAN_DIR) + "/" + page);
  std::stringstream text;
  text << file.rdbuf();
  const std::string all = text.str();
  const size_t start = all.find(".SH EXIT STATUS");
  const size_t end = all.find(".SH", start + 1);
  return start == std::string::npos ? std::string() : all.substr(start, end - start);
}

TEST(VqhwCommandLine, OneExitCodeTableInTheHelpAndBothManPages) {
  const ProgramRun help = RunProgram({VQHW_TOOL, "--help"});
  const std::set<std::string> inHelp = CodesIn(help.out, std::regex(R"(\n  (\d+|N)\t)"));
  ASSERT_GE(inHelp.size(), 7u) << help.out;
  for (const char* code : {"0", "N", "64", "65", "66", "69"}) EXPECT_TRUE(inHelp.contains(code)) << code;
  EXPECT_EQ(CodesIn(RunProgram({VQHW_SIM_TOOL, "--help"}).out, std::regex(R"(\n  (\d+|N)\t)")), inHelp);
  for (const char* page : {"vqhw.1", "vqhw-sim.1"}) {
    const std::set<std::string> inPage = CodesIn(ExitStatusSection(page), std::regex(R"(\.TP\n\.B (\d+|N)\n)"));
    EXPECT_EQ(inPage, inHelp) << page;
  }

  // The file codes, alike in both programs.
  const std::string malformed = ::testing::TempDir() + "vqhw_malformed_field.json";
  std::ofstream(malformed) << "{\"cards\": [\n  {\"kind\": \"mifare-one\"\n]}";
  const ProgramRun badTool = Vqhw({"--sim-field", malformed, "card"});
  const ProgramRun badSim = RunProgram({VQHW_SIM_TOOL, "--field", malformed});
  for (const ProgramRun* run : {&badTool, &badSim}) {
    EXPECT_EQ(run->exitCode, 65) << run->err;
    EXPECT_NE(run->err.find("line 3, column 1"), std::string::npos) << run->err;
  }
  for (const std::vector<std::string>& missing :
       {std::vector<std::string>{VQHW_TOOL, "--sim-field", "/nonexistent/field.json", "card"},
        {VQHW_SIM_TOOL, "--field", "/nonexistent/field.json"}}) {
    const ProgramRun run = RunProgram(missing);
    EXPECT_EQ(run.exitCode, 66) << run.err;
    EXPECT_NE(run.err.find("/nonexistent/field.json"), std::string::npos) << run.err;
  }
  std::remove(malformed.c_str());
}

// The SYNOPSIS of a man page, its escapes undone.
std::string Synopsis(const std::string& page) {
  std::ifstream file(std::string(VQHW_MAN_DIR) + "/" + page);
  std::stringstream text;
  text << file.rdbuf();
  const std::string all = text.str();
  const size_t start = all.find(".SH SYNOPSIS");
  std::string synopsis = all.substr(start, all.find(".SH", start + 1) - start);
  return std::regex_replace(synopsis, std::regex(R"(\\-)"), "-");
}

// A man page that leaves out an option its program takes is no reference.
TEST(VqhwCommandLine, TheSynopsisOfEachManPageNamesEveryOptionOfItsHelp) {
  const std::regex option(R"(\n  (?:-\w,)?(--[a-z][a-z-]*))");
  for (const auto& [page, help] :
       {std::pair{"vqhw-sim.1", std::vector<std::string>{VQHW_SIM_TOOL, "--help"}},
        std::pair{"vqhw-sim.1", std::vector<std::string>{VQHW_SIM_TOOL, "ctl", "--help"}},
        std::pair{"vqhw.1", std::vector<std::string>{VQHW_TOOL, "--help"}}}) {
    const std::string text = RunProgram(help).out;
    const std::set<std::string> options = CodesIn(text, option);
    EXPECT_GE(options.size(), 2u) << text;
    const std::string synopsis = Synopsis(page);
    for (const std::string& name : options) {
      const bool named = synopsis.find(name + " ") != std::string::npos || synopsis.find(name + "\n") != std::string::npos;
      EXPECT_TRUE(named) << page << " does not name " << name << " (" << help.back() << ")";
    }
  }
}

}  // namespace
}  // namespace vqtest
