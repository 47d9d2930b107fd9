// The session record as the replaying reader reads it: bad lines refused
// with their number; answers at the recorded delay after their command,
// noise included; nothing answered after the first difference.

#include <gtest/gtest.h>

#include "sim/lane/session_replay.h"

namespace vqsim {
namespace {

using Clock = std::chrono::steady_clock;

ReceivedFrame Frame(std::vector<uint8_t> bytes, Clock::time_point at) { return {std::move(bytes), at, true}; }

TEST(SessionRecord, BadLinesAreRefusedWithTheirNumber) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"# fine\n   1.0  >   FF 00 72 00 8D\nx  >  FF\n", "line 3: a time in milliseconds expected"},
      {"1.0  =  FF 00\n", "line 1: '>' (to the reader) or '<' (to the host) expected"},
      {"1.0  <  FF 0\n", "line 1: bytes as pairs of hex digits expected"},
      {"1.0  <\n", "line 1: no bytes"},
      {"1.0\n", "line 1: a time, a direction and bytes expected"},
      {"-1  >  FF\n", "line 1: a time in milliseconds expected"},
      // Numbers to strtod, but no time an answer can be planned at.
      {"nan  >  FF\n", "line 1: a time in milliseconds expected"},
      {"0  >  FF\ninf  <  FF\n", "line 2: a time in milliseconds expected"},
      {"1e300  <  FF\n", "line 1: a time in milliseconds expected"},
  };
  for (const auto& refused : cases) {
    try {
      ParseSessionRecord(refused.text);
      ADD_FAILURE() << refused.text << " was taken";
    } catch (const SessionRecordError& error) {
      EXPECT_STREQ(error.what(), refused.message);
    }
  }
}

TEST(SessionReplay, AnswersAsRecordedAndStopsAtTheFirstDifference) {
  int differences = 0;
  SessionReplay replay(ParseSessionRecord("  10.0  >   FF 00 72 00 8D\n"
                                          "  12.5  <?  00 13\n"
                                          "  14.0  <   FF 00 00 00 FF\n"
                                          "  20.0  >?  01 02\n"
                                          "  30.0  >   FF 01 72 00 8C\n"
                                          "  31.0  >   FF 01 72 00 8C\n"),
                       [&] { ++differences; });
  EXPECT_EQ(replay.RecordedCommands(), 3u) << "host noise is no command";
  const Clock::time_point at = Clock::now();
  const std::vector<AnswerChunk> first = replay.Answer(Frame({0xFF, 0x00, 0x72, 0x00, 0x8D}, at));
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].bytes, (std::vector<uint8_t>{0x00, 0x13}));
  EXPECT_EQ(first[0].notBefore - at, std::chrono::microseconds(2500));
  EXPECT_EQ(first[1].bytes, (std::vector<uint8_t>{0xFF, 0x00, 0x00, 0x00, 0xFF}));
  EXPECT_EQ(first[1].notBefore - at, std::chrono::milliseconds(4));
  EXPECT_TRUE(replay.Answer(Frame({0xFF, 0x01, 0x72, 0x00, 0x8C}, at)).empty()) << "recorded unanswered";
  EXPECT_EQ(replay.DifferenceAtEnd()->got, "nothing");
  EXPECT_EQ(replay.DifferenceAtEnd()->line, 6);

  EXPECT_TRUE(replay.Answer(Frame({0xFF, 0x01, 0x70, 0x00, 0x8E}, at)).empty());
  const auto difference = replay.FirstDifference();
  ASSERT_TRUE(difference);
  EXPECT_EQ(difference->command, 3u);
  EXPECT_EQ(difference->line, 6);
  EXPECT_EQ(difference->expected, "FF 01 72 00 8C");
  EXPECT_EQ(difference->got, "FF 01 70 00 8E");
  EXPECT_TRUE(replay.Answer(Frame({0xFF, 0x01, 0x72, 0x00, 0x8C}, at)).empty()) << "nothing after a difference";
  EXPECT_EQ(differences, 1);
  EXPECT_EQ(replay.FirstDifference()->command, 3u) << "the first difference stays";
}

TEST(SessionReplay, CommandPastTheRecordsEndIsADifference) {
  SessionReplay replay(ParseSessionRecord("1.0  >  FF 00 72 00 8D\n"));
  ASSERT_TRUE(replay.Answer(Frame({0xFF, 0x00, 0x72, 0x00, 0x8D}, Clock::now())).empty());
  EXPECT_FALSE(replay.DifferenceAtEnd()) << "every recorded command came";
  replay.Answer(Frame({0xFF, 0x01, 0x72, 0x00, 0x8C}, Clock::now()));
  EXPECT_EQ(replay.FirstDifference()->expected, "the end of the record");
  EXPECT_EQ(replay.FirstDifference()->command, 2u);
}

// The record timed each answer from when its command was sent; the frame
// arrives its own time on the line later.
TEST(SessionReplay, AnswersAreTimedFromWhenTheCommandWasSent) {
  SessionReplay replay(ParseSessionRecord("10.0  >  FF 00 72 00 8D\n14.0  <  FF 00 00 00 FF\n"));
  const Clock::time_point at = Clock::now();
  const std::vector<AnswerChunk> answer =
      replay.Answer(Frame({0xFF, 0x00, 0x72, 0x00, 0x8D}, at), std::chrono::microseconds(434));
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].notBefore - at, std::chrono::microseconds(4000 - 434));
}

// Sequence::kAny: another number is the same command; its answer frames take
// the command's number, an answer recorded with a wrong one is as far off,
// and noise stays as recorded. The rest of the frame, check byte included,
// still has to be as recorded.
TEST(SessionReplay, AnySequenceTakesAnotherNumberAndRenumbersTheAnswers) {
  const char* record =
      "10.0  >   FF 00 72 00 8D\n"
      "12.5  <?  FF 00 13\n"
      "14.0  <   FF 00 00 00 FF\n"
      "20.0  >   FF 01 73 00 8D\n"
      "21.0  <   FF 02 00 00 FD\n"
      "30.0  >   FF 02 72 00 8F\n";
  SessionReplay strict(ParseSessionRecord(record));
  EXPECT_TRUE(strict.Answer(Frame({0xFF, 0x05, 0x72, 0x00, 0x88}, Clock::now())).empty());
  EXPECT_EQ(strict.FirstDifference()->command, 1u) << "as recorded, the number counts";

  SessionReplay replay(ParseSessionRecord(record), {}, SessionReplay::Sequence::kAny);
  const std::vector<AnswerChunk> first = replay.Answer(Frame({0xFF, 0x05, 0x72, 0x00, 0x88}, Clock::now()));
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].bytes, (std::vector<uint8_t>{0xFF, 0x00, 0x13})) << "noise as recorded";
  EXPECT_EQ(first[1].bytes, (std::vector<uint8_t>{0xFF, 0x05, 0x00, 0x00, 0xFA}));
  const std::vector<AnswerChunk> second = replay.Answer(Frame({0xFF, 0x06, 0x73, 0x00, 0x8A}, Clock::now()));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].bytes, (std::vector<uint8_t>{0xFF, 0x07, 0x00, 0x00, 0xF8})) << "recorded one on, still one on";
  EXPECT_TRUE(replay.Answer(Frame({0xFF, 0x07, 0x72, 0x00, 0x8F}, Clock::now())).empty());
  ASSERT_TRUE(replay.FirstDifference());
  EXPECT_EQ(replay.FirstDifference()->got, "FF 07 72 00 8F") << "a wrong check byte differs";
}

}  // namespace
}  // namespace vqsim
