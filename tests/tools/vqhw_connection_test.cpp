// vqhw's connection commands, status texts, frame trace and errors, run as
// a program against the virtual reader.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "vqhw_run.h"

namespace vqtest {
namespace {

using nlohmann::json;

TEST(VqhwConnection, InfoOpenAndDemoWorkOnTheBuiltInReader) {
  const ProgramRun info = Vqhw({"--sim", "--json", "info"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  const json document = Document(info);
  ASSERT_FALSE(document.is_discarded()) << info.out;
  EXPECT_EQ(document["port"], 1);
  EXPECT_EQ(document["speed"], 115200);
  EXPECT_NE(document["info"].get<std::string>().find("COM1"), std::string::npos);

  const ProgramRun open = Vqhw({"--sim", "--port", "4", "--json", "open"});
  ASSERT_EQ(open.exitCode, 0) << open.err;
  EXPECT_EQ(Document(open)["result"], 0);
  EXPECT_EQ(Document(open)["message"], "成功执行");

  const ProgramRun demo = Vqhw({"--sim", "demo"});
  ASSERT_EQ(demo.exitCode, 0) << demo.err;
  EXPECT_NE(demo.out.find("probe"), std::string::npos) << "demo shows the frames";
  EXPECT_NE(demo.out.find("Morvelina"), std::string::npos);
}

TEST(VqhwConnection, OpenExplainsWhyAPortFails) {
  const ProgramRun missing = Vqhw({"--device", "/nonexistent/ttyVQ", "--json", "open"});
  EXPECT_EQ(missing.exitCode, 69) << "a device that cannot be opened";
  const json document = Document(missing);
  ASSERT_FALSE(document.is_discarded()) << missing.out;
  EXPECT_EQ(document["result"], -1);
  EXPECT_EQ(document["status"], -12) << "the message tells the cannot-open status from the others";
  EXPECT_EQ(document["message"], "串行口无法打开");
  EXPECT_NE(document["device"].get<std::string>().find("/nonexistent/ttyVQ"), std::string::npos);

  // A reader that never answers: the port opens, the probe finds nobody.
  SimServer silent({"--silent", "1000"});
  ASSERT_FALSE(silent.Path().empty());
  const ProgramRun mute = Vqhw({"--device", silent.Path(), "open"});
  EXPECT_EQ(mute.exitCode, 23) << "the status -23 behind the result -1";
  EXPECT_NE(mute.out.find("找不到机具"), std::string::npos) << mute.out;
  EXPECT_NE(mute.out.find("-23"), std::string::npos) << mute.out;
}

// A port that does not open: the device and the system's reason, every
// cause its own, and the device's exit code; under trace (whose relay opens
// the device itself) the same.
TEST(VqhwConnection, OpenFailuresNameTheDeviceAndTheSystemsReason) {
  SimServer held({});
  ASSERT_FALSE(held.Path().empty());
  const int holder = ::open(held.Path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0) << "another program holds the port";
  const struct {
    std::string device;
    const char* reason;
  } causes[] = {
      {"/nonexistent/ttyVQ", "No such file"},
      {"/dev/null", "not a serial port"},
      {::testing::TempDir(), "directory"},
      {held.Path(), "held by another program"},
  };
  for (const auto& cause : causes) {
    for (const std::vector<std::string>& command : {std::vector<std::string>{"info"}, {"trace", "card"}}) {
      std::vector<std::string> arguments{"--device", cause.device};
      arguments.insert(arguments.end(), command.begin(), command.end());
      const ProgramRun run = Vqhw(arguments);
      EXPECT_EQ(run.exitCode, 69) << cause.device << " " << command[0] << ": " << run.err;
      EXPECT_NE(run.err.find(cause.device), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(cause.reason), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
  }
  ::close(holder);
  EXPECT_EQ(Vqhw({"--device", held.Path(), "info"}).exitCode, 0) << "free again";
}

// A failed call's line: the code, the message as UTF-8, its meaning in
// English and what to try.
TEST(VqhwConnection, FailureLinesGiveTheMeaningAndAHint) {
  const ProgramRun refused = Vqhw({"--sim", "read", "4", "-k", "000000000000"});
  EXPECT_EQ(refused.exitCode, 103);
  for (const char* part : {"-103", "用户卡认证错误", "refused the key", "-k"}) {
    EXPECT_NE(refused.err.find(part), std::string::npos) << part << " in " << refused.err;
  }
  const json document = Document(Vqhw({"--sim", "--json", "read", "4", "-k", "000000000000"}));
  EXPECT_EQ(document["error"]["status"], -103);
  EXPECT_NE(document["error"]["meaning"].get<std::string>().find("refused the key"), std::string::npos);
  EXPECT_NE(document["error"]["hint"].get<std::string>().find("-k"), std::string::npos);

  // The result 1 is the status -101, no card: its own exit code and words.
  const std::string empty = ::testing::TempDir() + "vqhw_empty_field.json";
  std::ofstream(empty) << R"({"cards": []})";
  const ProgramRun noCard = Vqhw({"--sim-field", empty, "card"});
  EXPECT_EQ(noCard.exitCode, 101);
  EXPECT_NE(noCard.err.find("no card in the antenna field"), std::string::npos) << noCard.err;
  std::remove(empty.c_str());
}

TEST(VqhwConnection, StatusExplainsCodesAndStatusWords) {
  const ProgramRun noCard = Vqhw({"status", "-101"});
  ASSERT_EQ(noCard.exitCode, 0);
  EXPECT_NE(noCard.out.find("天线范围内无卡"), std::string::npos) << noCard.out;

  const json result1 = Document(Vqhw({"--json", "status", "1"}));
  EXPECT_EQ(result1["status"], 1);
  EXPECT_EQ(result1["message"], "天线范围内无卡") << "the result 1 stands for no card";

  const json statusByte = Document(Vqhw({"--json", "status", "-300"}));
  EXPECT_EQ(statusByte["message"], "未知的错误类型");
  EXPECT_NE(statusByte["meaning"].get<std::string>().find("38"), std::string::npos)
      << "names the status byte 0x38 it stands for";

  const json word = Document(Vqhw({"--json", "status", "--sw", "6A82"}));
  EXPECT_EQ(word["text"], "FILE NOT FOUND");
  EXPECT_EQ(Vqhw({"status", "--sw", "6A8"}).exitCode, 64);
}

TEST(VqhwConnection, TraceShowsEveryFrameOfTheVirtualReader) {
  const ProgramRun run = Vqhw({"--sim", "--json", "trace", "card"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const json document = Document(run);
  ASSERT_FALSE(document.is_discarded()) << run.out;
  EXPECT_EQ(document["serial"], "A1B2C3D4");
  const json& frames = document["frames"];
  // open (probe, PSAM reset), activation; each command with its answer.
  ASSERT_EQ(frames.size(), 6u) << frames.dump(1);
  const std::vector<std::string> names{"probe", "success", "PSAM reset", "success", "activate card", "success"};
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i]["name"], names[i]) << i;
    EXPECT_EQ(frames[i]["direction"], i % 2 == 0 ? "to_reader" : "to_host") << i;
    EXPECT_EQ(frames[i]["sequence"], i / 2) << i;
    EXPECT_TRUE(frames[i]["check_ok"].get<bool>()) << i;
  }
  EXPECT_EQ(frames[5]["data"], "A1B2C3D408");
  EXPECT_TRUE(frames[5].contains("answer_ms"));
  EXPECT_LE(frames[4]["time_ms"].get<double>(), frames[5]["time_ms"].get<double>());
}

TEST(VqhwConnection, TraceOnARealPortRelaysAndShowsTheLine) {
  SimServer reader({"--field", Example("lane.json")});
  ASSERT_FALSE(reader.Path().empty());
  const ProgramRun run = Vqhw({"--device", reader.Path(), "trace", "card"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("activate card"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3A 5F 0C 21 08"), std::string::npos) << "the answer's data on the line";
  EXPECT_NE(run.out.find("serial: 3A5F0C21"), std::string::npos) << run.out;

  // A wrong sequence number on the line shows as such, and the command fails.
  SimServer liar({"--wrong-sequence", "100"});
  const ProgramRun lied = Vqhw({"--device", liar.Path(), "--json", "trace", "open"});
  EXPECT_NE(lied.exitCode, 0);
  const json frames = Document(lied)["frames"];
  ASSERT_GE(frames.size(), 2u) << lied.out;
  EXPECT_EQ(frames[0]["sequence"], 0);
  EXPECT_NE(frames[1]["sequence"], 0);
}

// A network port has no device a relay could stand in front of: the frames
// come from the library's own trace, in a file of the run's own that is
// gone after it, or in the one VQHW_TRACE names, which stays.
TEST(VqhwConnection, TraceOnANetworkPortShowsTheLibrarysFrames) {
  std::string scratch = ::testing::TempDir() + "vqhw_net_trace_XXXXXX";
  ASSERT_NE(::mkdtemp(scratch.data()), nullptr);
  for (const char* scheme : {"socket", "rfc2217"}) {
    SCOPED_TRACE(scheme);
    SimServer reader({"--listen", std::string(scheme) + "://127.0.0.1:0", "--field", Example("lane.json")});
    ASSERT_FALSE(reader.Path().empty());
    const ProgramRun run = RunProgram(
        {"/usr/bin/env", "-u", "VQHW_TRACE", "TMPDIR=" + scratch, VQHW_TOOL, "--device", reader.Path(), "--json", "trace", "card"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json frames = Document(run)["frames"];
    const std::vector<std::string> names{"probe", "success", "PSAM reset", "success", "activate card", "success"};
    ASSERT_EQ(frames.size(), names.size()) << run.out;
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(frames[i]["name"], names[i]) << i;
    EXPECT_EQ(frames[5]["data"], "3A5F0C2108");
    EXPECT_EQ(::rmdir(scratch.c_str()), 0) << "the run's own trace file was left behind";
    ASSERT_EQ(::mkdir(scratch.c_str(), 0700), 0);
  }

  SimServer reader({"--listen", "socket://127.0.0.1:0"});
  const std::string named = scratch + "/named.log";
  const ProgramRun run =
      RunProgram({"/usr/bin/env", "VQHW_TRACE=" + named, VQHW_TOOL, "--device", reader.Path(), "trace", "card"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("activate card"), std::string::npos) << run.out;
  std::ifstream kept(named);
  const std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find(">> "), std::string::npos) << "the named trace keeps the library's records";
  std::remove(named.c_str());
  ::rmdir(scratch.c_str());
}

TEST(VqhwConnection, RefusesBadInputWithOneLineAndAUsageExit) {
  const ProgramRun unknown = Vqhw({"frobnicate"});
  EXPECT_EQ(unknown.exitCode, 64);

  const ProgramRun badPort = Vqhw({"--port", "100", "info"});
  EXPECT_EQ(badPort.exitCode, 64);
  EXPECT_EQ(Vqhw({"--sim", "--device", "/dev/null", "card"}).exitCode, 64) << "which reader?";

  const std::string badField = ::testing::TempDir() + "vqhw_bad_field.json";
  std::ofstream(badField) << R"({"cards": [{"kind": "mifare-one", "serial": "12"}]})";
  const ProgramRun refused = Vqhw({"--sim-field", badField, "card"});
  EXPECT_EQ(refused.exitCode, 65) << "a malformed field file";
  EXPECT_NE(refused.err.find("cards[0].serial"), std::string::npos) << refused.err;
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
  std::remove(badField.c_str());
}

}  // namespace
}  // namespace vqtest
