// Cutting the line's bytes into frames, and showing them.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "vqhw/frame_record.h"
#include "vqhw/frame_trace.h"

namespace vqtool {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kProbe{0xFF, 0x00, 0x70, 0x03, 0xAA, 0xAA, 0xAA, 0x26};
const Bytes kAnswer{0xFF, 0x00, 0x00, 0x00, 0xFF};

TEST(ToolFrameSplitter, JoinsFramesThatArriveInPieces) {
  FrameSplitter splitter;
  std::vector<FrameSplitter::Piece> pieces;
  for (uint8_t b : kProbe) {
    for (auto& piece : splitter.Push(Bytes{b})) pieces.push_back(piece);
  }
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_TRUE(pieces[0].isFrame);
  EXPECT_EQ(pieces[0].bytes, kProbe);
  EXPECT_FALSE(splitter.Flush());
}

TEST(ToolFrameSplitter, SeparatesNoiseFramesAndAnUnfinishedRest) {
  FrameSplitter splitter;
  Bytes line{0x12, 0x34};
  line.insert(line.end(), kAnswer.begin(), kAnswer.end());
  line.insert(line.end(), kProbe.begin(), kProbe.end());
  line.insert(line.end(), {0xFF, 0x01, 0x00});
  const auto pieces = splitter.Push(line);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_FALSE(pieces[0].isFrame);
  EXPECT_EQ(pieces[0].bytes, (Bytes{0x12, 0x34}));
  EXPECT_EQ(pieces[1].bytes, kAnswer);
  EXPECT_EQ(pieces[2].bytes, kProbe);
  const auto rest = splitter.Flush();
  ASSERT_TRUE(rest);
  EXPECT_FALSE(rest->isFrame);
  EXPECT_EQ(rest->bytes, (Bytes{0xFF, 0x01, 0x00}));
}

TEST(ToolFrameTrace, NamesCommandsAndStatusesAndFlagsABadCheckByte) {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  {
    Output out(true, memory, memory);
    FrameTrace trace(out);
    trace.Observe(LineDirection::kToReader, kProbe);
    trace.Observe(LineDirection::kToHost, Bytes{0xFF, 0x00, 0xFD, 0x00, 0x03});  // check byte wrong (02 is right)
    trace.Observe(LineDirection::kToHost, Bytes{0xFF, 0x00});
    trace.Finish();
    out.Finish(0);
  }
  std::fclose(memory);
  const nlohmann::json frames = nlohmann::json::parse(std::string(text, size))["frames"];
  std::free(text);
  ASSERT_EQ(frames.size(), 3u) << frames.dump(1);
  EXPECT_EQ(frames[0]["name"], "probe");
  EXPECT_EQ(frames[0]["data"], "AAAAAA");
  EXPECT_TRUE(frames[0]["check_ok"].get<bool>());
  EXPECT_EQ(frames[1]["name"], "the card refused the key (authentication failed)");
  EXPECT_FALSE(frames[1]["check_ok"].get<bool>());
  EXPECT_TRUE(frames[1].contains("answer_ms"));
  EXPECT_EQ(frames[2]["noise"], "FF00") << "the unfinished frame at the end";
}

// --raw adds each frame's bytes; --record writes what the trace sees, a
// frame a line, an unfinished one marked as no frame.
TEST(ToolFrameTrace, RawShowsTheBytesAndTheRecordHoldsEveryFrame) {
  const std::string path = ::testing::TempDir() + "vqhw_trace.record";
  char* text = nullptr;
  size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  {
    Output out(true, memory, memory);
    FrameRecord record(path);
    FrameTrace trace(out);
    trace.ShowRaw(true);
    trace.RecordTo(&record);
    trace.Observe(LineDirection::kToReader, Bytes(kProbe.begin(), kProbe.begin() + 3));
    trace.Observe(LineDirection::kToReader, Bytes(kProbe.begin() + 3, kProbe.end()));
    trace.Observe(LineDirection::kToHost, Bytes{0x13, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF});
    trace.Finish();
    out.Finish(0);
  }
  std::fclose(memory);
  const nlohmann::json frames = nlohmann::json::parse(std::string(text, size))["frames"];
  std::free(text);
  ASSERT_EQ(frames.size(), 4u) << frames.dump(1);
  EXPECT_EQ(frames[0]["bytes"], "FF007003AAAAAA26");
  EXPECT_EQ(frames[2]["bytes"], "FF000000FF");

  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  std::remove(path.c_str());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "# vqhw session record");
  EXPECT_EQ(lines[2].substr(12), "  >   FF 00 70 03 AA AA AA 26") << "one line for the frame of two pieces";
  EXPECT_EQ(lines[3].substr(12), "  <?  13");
  EXPECT_EQ(lines[4].substr(12), "  <   FF 00 00 00 FF");
  EXPECT_EQ(lines[5].substr(12), "  <?  FF") << "the unfinished frame, at the end";
}

}  // namespace
}  // namespace vqtool
