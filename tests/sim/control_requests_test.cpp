// Control requests to the readers of one process: each by its number, and
// the line and card time a reader has spent, which a plaza's lanes compare
// their purchases with; the cards, blocks, power and PSAM they change, as
// the reader's answers show it; and the files they may read.

#include "sim/control/control_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <future>
#include <optional>
#include <vector>

#include "pty_client.h"
#include "sim/control/control_socket.h"
#include "sim/protocol/frame_layout.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

using std::chrono::milliseconds;
using testing::CommandFrame;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char* kMifareCard = R"({"kind": "mifare-one", "serial": "0A0B0C0D"})";
const Bytes kSerial{0x0A, 0x0B, 0x0C, 0x0D};
const Bytes kFactoryKey(6, 0xFF);

struct Answer {
  uint8_t status;
  Bytes data;
};

// The reader's answer to one command arriving at `at`; none when it says nothing.
std::optional<Answer> Command(VirtualReader& reader, uint8_t command, const Bytes& data = {},
                          Clock::time_point at = Clock::now()) {
  Bytes bytes;
  for (const AnswerChunk& chunk : reader.Receive(CommandFrame(0, command, data), at)) {
    bytes.insert(bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
  }
  if (bytes.size() < kFrameOverhead) return std::nullopt;
  return Answer{bytes[kCodeIndex], Bytes(bytes.begin() + kDataIndex, bytes.end() - 1)};
}

uint8_t StatusOf(const std::optional<Answer>& answer) { return answer ? answer->status : 0xEE; }

// Activates the card, loads the factory key A of `block`'s sector and authenticates it.
void OpenSector(VirtualReader& reader, int block, Clock::time_point at = Clock::now()) {
  const auto sector = static_cast<uint8_t>(block / 4);
  ASSERT_EQ(StatusOf(Command(reader, 0x80, {}, at)), status::kSuccess);
  Bytes load{0, sector};
  load.insert(load.end(), kFactoryKey.begin(), kFactoryKey.end());
  ASSERT_EQ(StatusOf(Command(reader, 0x56, load, at)), status::kSuccess);
  Bytes authenticate = kSerial;
  authenticate.insert(authenticate.end(), {0, sector, static_cast<uint8_t>(block)});
  ASSERT_EQ(StatusOf(Command(reader, 0x50, authenticate, at)), status::kSuccess);
}

bool IsError(const std::string& reply, const std::string& says) {
  return reply.starts_with("error ") && reply.find(says) != std::string::npos && reply.find('\n') == reply.size() - 1;
}

TEST(ControlRequests, NameTheirReaderWhenThereAreSeveral) {
  VirtualReader first, second;
  second.ClearField();
  const std::vector<VirtualReader*> readers{&first, &second};
  EXPECT_EQ(RunControlRequest(readers, "state").rfind("error 2 readers: name one", 0), 0u);
  EXPECT_EQ(RunControlRequest(readers, "reader 3 state").rfind("error no reader 3", 0), 0u);
  EXPECT_EQ(RunControlRequest(readers, "reader 0 state").rfind("error no reader 0", 0), 0u);
  EXPECT_EQ(RunControlRequest(readers, "reader 2 fault silent 1"), "ok silent armed\n");
  EXPECT_TRUE(second.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})).empty()) << "the fault is reader 2's";
  EXPECT_FALSE(first.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})).empty());
  const std::vector<VirtualReader*> one{&first};
  EXPECT_EQ(RunControlRequest(one, "fault clear"), "ok no faults armed\n") << "one reader needs no number";
}

// A probe and its answer: 8 and 5 bytes at 115200 baud, 10 bits a byte.
TEST(ControlRequests, TimingTellsTheLineAndCardTimeSoFar) {
  VirtualReader reader;
  EXPECT_EQ(RunControlRequest(reader, "timing"), "ok line 0 us card 0 us\n");
  reader.SetTiming(TimingProfile::Real());
  reader.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA}));
  const auto card = reader.CardTimeSoFar().count();
  EXPECT_EQ(RunControlRequest(reader, "timing"),
            "ok line " + std::to_string(13 * ByteTime(115200).count() / 1000) + " us card " + std::to_string(card) +
                " us\n");
}


TEST(ControlRequests, PresentTakesTheDescriptionInline) {
  VirtualReader reader;
  const std::vector<VirtualReader*> readers{&reader, &reader};
  EXPECT_EQ(RunControlRequest(readers, std::string("reader 2 present   ") + kMifareCard), "ok the card entered the field\n");
  EXPECT_EQ(RunControlRequest(reader, "state"), "ok\ncard 0A0B0C0D mifare-one\npsam present\n");
  EXPECT_TRUE(IsError(RunControlRequest(reader, std::string("present ") + kMifareCard), "in the field already"));
  EXPECT_EQ(RunControlRequest(reader, std::string("present clone ") + kMifareCard), "ok the card entered the field\n");
  EXPECT_EQ(RunControlRequest(reader, "present {\"cards\": [{\"kind\": \"mifare-one\", \"serial\": \"01020304\"}]}"),
            "ok the field holds the cards of the description\n");
  EXPECT_EQ(RunControlRequest(reader, "state"), "ok\ncard 01020304 mifare-one\npsam present\n");

  for (const std::string bad : {"present {\"kind\": ", "present {\"kind\": \"mifare-one\", \"serial\": \"0A\"}",
                                "present", "present a b", "present clone", "present {\"cards\": 3}"}) {
    const std::string reply = RunControlRequest(reader, bad);
    EXPECT_TRUE(IsError(reply, "")) << bad << ": " << reply;
  }
  EXPECT_TRUE(IsError(RunControlRequest(reader, "present a b"), "present FILE [clone] | present [clone] {JSON}"));
  EXPECT_EQ(RunControlRequest(reader, "state"), "ok\ncard 01020304 mifare-one\npsam present\n") << "untouched";
}

// A path the reader's process reads must be a regular file it reads to its
// end at once: a FIFO would hold the control thread for ever.
TEST(ControlRequests, PresentFileReadsOnlyARegularFileOfAtMostOneMebibyte) {
  VirtualReader reader;
  const std::string dir = ::testing::TempDir() + "vqhw_control_files_" + std::to_string(::getpid());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const std::string fifo = dir + "/card.fifo", big = dir + "/big.json", card = dir + "/card.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto answer = std::async(std::launch::async, [&] { return RunControlRequest(reader, "present " + fifo); });
  if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // let the reader go before failing
    FAIL() << "present FIFO blocks";
  }
  EXPECT_TRUE(IsError(answer.get(), fifo + ": cannot be read: is no regular file"));

  std::ofstream(big) << "{\"cards\": []}" << std::string(kMostControlFileBytes, ' ');
  EXPECT_TRUE(IsError(RunControlRequest(reader, "present " + big), "is longer than 1048576 bytes"));
  EXPECT_TRUE(IsError(RunControlRequest(reader, "present /dev/zero"), "is no regular file"));
  EXPECT_TRUE(IsError(RunControlRequest(reader, "present " + dir), "is a directory"));
  EXPECT_EQ(RunControlRequest(reader, "state"), "ok\nno card in the field\npsam present\n");

  std::ofstream(card) << kMifareCard;
  EXPECT_EQ(RunControlRequest(reader, "present " + card), "ok the card entered the field\n");
  EXPECT_EQ(RunControlRequest(reader, "present " + card + " clone"), "ok the card entered the field\n");
  for (const std::string& path : {fifo, big, card}) std::remove(path.c_str());
  ::rmdir(dir.c_str());
}

TEST(ControlRequests, WriteSetsABlockThatTheCardThenAnswers) {
  VirtualReader reader;
  ASSERT_EQ(RunControlRequest(reader, std::string("present ") + kMifareCard), "ok the card entered the field\n");
  const std::string hex = "00112233445566778899AABBCCDDEEFF";
  const Bytes bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(RunControlRequest(reader, "write 0A0B0C0D 5 " + hex), "ok block 5 of 0A0B0C0D written\n");
  OpenSector(reader, 5);
  const std::optional<Answer> read = Command(reader, 0x51, {5});
  ASSERT_TRUE(read);
  EXPECT_EQ(read->status, status::kSuccess);
  EXPECT_EQ(read->data, bytes);

  // A card kept aside keeps what is written to it.
  ASSERT_EQ(RunControlRequest(reader, "leave 0A0B0C0D").rfind("ok", 0), 0u);
  EXPECT_EQ(RunControlRequest(reader, "write 0A0B0C0D 63 " + hex), "ok block 63 of 0A0B0C0D written\n");
  EXPECT_NE(RunControlRequest(reader, "dump").find("\"63\": \"" + hex + "\""), std::string::npos);

  ASSERT_EQ(RunControlRequest(reader, R"(present {"kind": "cpu", "serial": "11223344"})").rfind("ok", 0), 0u);
  const std::string before = RunControlRequest(reader, "dump");
  for (const auto& [request, says] : std::vector<std::pair<std::string, std::string>>{
           {"write 99999999 4 " + hex, "no card 99999999 in the field or aside"},
           {"write 11223344 4 " + hex, "is no MIFARE ONE card"},
           {"write 0A0B0C0D 64 " + hex, "no block 64: the blocks are 0 to 63"},
           {"write 0A0B0C0D -1 " + hex, "no block -1"},
           {"write 0A0B0C0D 4 " + hex.substr(2), "15 bytes: a block is 16 bytes"},
           {"write 0A0B0C0D 4 " + hex + "00", "17 bytes"},
           {"write 0A0B0C0D 4 " + hex.substr(1), "is no hex"},
           {"write 0A0B0C0D 0 " + hex, "block 0 begins with the card's serial"},
           {"write 0A0B 4 " + hex, "0A0B is no serial"},
           {"write 0A0B0C0D 4", "write SERIAL BLOCK HEX"}}) {
    EXPECT_TRUE(IsError(RunControlRequest(reader, request), says)) << request;
  }
  EXPECT_EQ(RunControlRequest(reader, "dump"), before) << "no card changed";
}

// As a scenario's power cut: nothing answered, then the reader is back
// without a selected card or the keys it had loaded.
TEST(ControlRequests, PowerOffSilencesTheReaderThenItComesBackReset) {
  VirtualReader reader;
  ASSERT_EQ(RunControlRequest(reader, std::string("present ") + kMifareCard), "ok the card entered the field\n");
  OpenSector(reader, 4);
  for (const std::string bad : {"power-off", "power-off 0", "power-off 600001", "power-off -5", "power-off 5 5",
                                "power-off 1.5"}) {
    EXPECT_TRUE(IsError(RunControlRequest(reader, bad), "power-off MS: a time of 1 to 600000 milliseconds")) << bad;
  }
  EXPECT_EQ(StatusOf(Command(reader, 0x51, {4})), status::kSuccess) << "the refused requests cut nothing";

  const Clock::time_point cut = Clock::now();
  EXPECT_EQ(RunControlRequest(reader, "power-off 100"), "ok the reader has no power for 100 ms\n");
  EXPECT_NE(RunControlRequest(reader, "state").find("armed power off, back in "), std::string::npos);
  EXPECT_FALSE(Command(reader, 0x70, {0xAA, 0xAA, 0xAA}, cut + milliseconds(50)));
  EXPECT_FALSE(Command(reader, 0x51, {4}, cut + milliseconds(60)));
  const Clock::time_point back = cut + milliseconds(200);
  EXPECT_EQ(StatusOf(Command(reader, 0x51, {4}, back)), status::kNoCard) << "no card selected any more";
  ASSERT_EQ(StatusOf(Command(reader, 0x80, {}, back)), status::kSuccess);
  Bytes authenticate = kSerial;
  authenticate.insert(authenticate.end(), {0, 1, 4});
  EXPECT_EQ(StatusOf(Command(reader, 0x50, authenticate, back)), status::kNoKeyLoaded);
}

// A cut from a control request leaves a running scenario as it is: the
// commands it swallows are no commands the scenario counts.
TEST(ControlRequests, PowerOffLeavesARunningScenarioToCountItsCommands) {
  VirtualReader reader;
  ASSERT_EQ(RunControlRequest(reader, R"(scenario {"events": [{"after": {"command": "70", "count": 2}, "psam": "removed"}]})"),
            "ok the scenario runs\n");
  const Clock::time_point cut = Clock::now();
  ASSERT_EQ(RunControlRequest(reader, "power-off 100").rfind("ok", 0), 0u);
  EXPECT_FALSE(Command(reader, 0x70, {0xAA, 0xAA, 0xAA}, cut + milliseconds(10)));
  EXPECT_TRUE(Command(reader, 0x70, {0xAA, 0xAA, 0xAA}, cut + milliseconds(200)));
  EXPECT_NE(RunControlRequest(reader, "state").find("psam present\n"), std::string::npos) << "one probe counted";
  EXPECT_TRUE(Command(reader, 0x70, {0xAA, 0xAA, 0xAA}, cut + milliseconds(210)));
  const std::string state = RunControlRequest(reader, "state");
  EXPECT_NE(state.find("psam removed\n"), std::string::npos) << state;
  EXPECT_NE(state.find("scenario after command 2 of code 70: PSAM removed (done)"), std::string::npos) << state;
}

TEST(ControlRequests, PsamIsLockedRemovedAndPutBack) {
  VirtualReader reader;
  const Bytes challenge{0x00, 0x84, 0x00, 0x00, 0x04};
  const Bytes locked{0x93, 0x03};
  EXPECT_EQ(RunControlRequest(reader, "psam locked"), "ok psam locked\n");
  EXPECT_NE(RunControlRequest(reader, "state").find("psam locked\n"), std::string::npos);
  std::optional<Answer> answer = Command(reader, 0x61, challenge);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->data, locked);
  EXPECT_EQ(StatusOf(Command(reader, 0x73)), status::kSuccess) << "a locked PSAM still answers its reset";

  EXPECT_EQ(RunControlRequest(reader, "psam removed"), "ok psam removed\n");
  EXPECT_EQ(StatusOf(Command(reader, 0x61, challenge)), status::kPsamTimeout);
  EXPECT_EQ(RunControlRequest(reader, "psam present"), "ok psam present\n");
  answer = Command(reader, 0x61, challenge);
  ASSERT_TRUE(answer);
  EXPECT_NE(answer->data, locked) << "the PSAM is back unlocked";

  // A lock a scenario made, lifted by hand; a lock made twice is lifted once.
  ASSERT_EQ(RunControlRequest(reader, R"(scenario {"events": [{"at": 0, "psam": "locked"}]})"), "ok the scenario runs\n");
  ASSERT_EQ(Command(reader, 0x61, challenge)->data, locked);
  EXPECT_EQ(RunControlRequest(reader, "psam locked"), "ok psam locked\n");
  EXPECT_EQ(RunControlRequest(reader, "psam present"), "ok psam present\n");
  EXPECT_NE(Command(reader, 0x61, challenge)->data, locked);

  for (const std::string bad : {"psam", "psam open", "psam locked now"}) {
    EXPECT_TRUE(IsError(RunControlRequest(reader, bad), "psam present|locked|removed")) << bad;
  }
  EXPECT_NE(RunControlRequest(reader, "state").find("psam present\n"), std::string::npos);
}

// The scenario names its start as --scenario does: its field replaces the one there.
TEST(ControlRequests, ScenarioStartsReplacesAndStops) {
  VirtualReader reader;
  ASSERT_EQ(RunControlRequest(reader, std::string("present ") + kMifareCard), "ok the card entered the field\n");
  const std::string scenario =
      R"({"cards": {"t": {"kind": "mifare-one", "serial": "3A5F0C21"}}, "field": ["t"],
          "events": [{"after": {"command": "70", "count": 1}, "leave": "t"}]})";
  std::string oneLine = scenario;
  std::erase(oneLine, '\n');
  EXPECT_EQ(RunControlRequest(reader, "scenario " + oneLine), "ok the scenario runs\n");
  EXPECT_EQ(RunControlRequest(reader, "state"),
            "ok\ncard 3A5F0C21 mifare-one\npsam present\nscenario after command 1 of code 70: a card leaves\n");

  for (const auto& [request, says] : std::vector<std::pair<std::string, std::string>>{
           {"scenario", "scenario {JSON} | scenario stop"},
           {"scenario some.json", "vqhw-sim ctl scenario FILE"},
           {R"(scenario {"events": [{"at": 0, "leave": "nobody"}]})", "the scenario: events[0]"},
           {R"(scenario {"events": )", "the scenario:"}}) {
    EXPECT_TRUE(IsError(RunControlRequest(reader, request), says)) << request;
  }
  Command(reader, 0x70, {0xAA, 0xAA, 0xAA});
  EXPECT_EQ(RunControlRequest(reader, "state"),
            "ok\nno card in the field\npsam present\nscenario after command 1 of code 70: a card leaves (done)\n")
      << "the refused ones left the scenario running";
  EXPECT_EQ(RunControlRequest(reader, "scenario stop"), "ok no scenario runs\n");
  EXPECT_EQ(RunControlRequest(reader, "state"), "ok\nno card in the field\npsam present\n");
}

TEST(ControlRequests, WhatChangesTheReaderIsRefusedDuringAReplay) {
  VirtualReader reader;
  ASSERT_EQ(RunControlRequest(reader, std::string("present ") + kMifareCard), "ok the card entered the field\n");
  reader.SetReplay(std::make_shared<SessionReplay>(std::vector<RecordedBytes>{}));
  const std::string before = RunControlRequest(reader, "dump");
  for (const std::string& request : {std::string("present clone ") + kMifareCard,
                                    std::string("write 0A0B0C0D 4 00112233445566778899AABBCCDDEEFF"),
                                    std::string("power-off 100"), std::string("psam locked"),
                                    std::string("scenario {}"), std::string("scenario stop")}) {
    EXPECT_TRUE(IsError(RunControlRequest(reader, request), "a replay answers from its record alone")) << request;
  }
  EXPECT_EQ(RunControlRequest(reader, "dump"), before);
}

// A field file sent inline is a long line: the socket takes it whole, and
// refuses a longer one instead of running what fits.
TEST(ControlSocket, TakesLongRequestsWholeAndRefusesLongerOnes) {
  const std::string path = ::testing::TempDir() + "vqhw_control_long_" + std::to_string(::getpid()) + ".sock";
  ControlSocket socket(path, [](const std::string& request) { return "ok " + std::to_string(request.size()) + "\n"; });
  EXPECT_EQ(SendControlRequest(path, std::string(kLongestControlRequest, 'x')),
            "ok " + std::to_string(kLongestControlRequest) + "\n");
  EXPECT_EQ(SendControlRequest(path, std::string(kLongestControlRequest + 1, 'x')),
            "error the request is longer than " + std::to_string(kLongestControlRequest) + " bytes\n");
}

}  // namespace
}  // namespace vqsim
