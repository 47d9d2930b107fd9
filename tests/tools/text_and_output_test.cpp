// Typed hex, exit codes, and the output layer's two forms.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "vqhw/output.h"
#include "vqhw/text.h"

namespace vqtool {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ToolParseHex, TakesPairsWithBlanksOrColonsBetweenThem) {
  EXPECT_EQ(vqshared::DecodeHex("00a1FF"), (Bytes{0x00, 0xA1, 0xFF}));
  EXPECT_EQ(vqshared::DecodeHex("00 A1:ff"), (Bytes{0x00, 0xA1, 0xFF}));
  EXPECT_EQ(vqshared::DecodeHex(""), Bytes{});
}

TEST(ToolParseHex, RefusesWhatTheLibraryWouldQuietlySkipOrDrop) {
  EXPECT_FALSE(vqshared::DecodeHex("0x12"));   // a prefix
  EXPECT_FALSE(vqshared::DecodeHex("123"));    // a digit without partner
  EXPECT_FALSE(vqshared::DecodeHex("1 23"));   // a blank inside a pair
  EXPECT_FALSE(vqshared::DecodeHex("12G4"));   // not a digit
}

TEST(ToolExitCodes, FollowTheResultAndNeverWrapToSuccess) {
  EXPECT_EQ(ExitCodeFor(0), 0);
  EXPECT_EQ(ExitCodeFor(1), 101);
  EXPECT_EQ(ExitCodeFor(-1), 1);
  EXPECT_EQ(ExitCodeFor(-12), 69) << "a port that cannot be opened is the device's exit code";
  EXPECT_EQ(ExitCodeFor(-254), 254);
  EXPECT_EQ(ExitCodeFor(-256), 255) << "256 would be 0 to the shell";
  EXPECT_EQ(ExitCodeFor(-1000), 255);
}

// An Output writing into memory.
class Captured {
 public:
  explicit Captured(bool json)
      : out_(open_memstream(&outText_, &outSize_)), err_(open_memstream(&errText_, &errSize_)),
        output(json, out_, err_) {}
  ~Captured() {
    std::fclose(out_);
    std::fclose(err_);
    std::free(outText_);
    std::free(errText_);
  }
  std::string Out() { std::fflush(out_); return {outText_, outSize_}; }
  std::string Err() { std::fflush(err_); return {errText_, errSize_}; }

 private:
  char* outText_ = nullptr;
  size_t outSize_ = 0;
  char* errText_ = nullptr;
  size_t errSize_ = 0;
  std::FILE* out_;
  std::FILE* err_;

 public:
  Output output;
};

TEST(ToolOutput, TextShowsLinesAndOneErrorLine) {
  Captured captured(false);
  captured.output.Field("serial", "serial", "A1B2C3D4");
  captured.output.Entry("blocks", {{"block", 4}}, "block 4");
  EXPECT_EQ(captured.output.CallFailed({.call = "readblock 4",
                                        .result = -103,
                                        .status = -103,
                                        .message = "用户卡认证错误",
                                        .meaning = "the card refused the key",
                                        .detail = "",
                                        .hint = "try another key"}),
            103);
  EXPECT_EQ(captured.output.Finish(103), 103);
  EXPECT_EQ(captured.Out(), "serial: A1B2C3D4\nblock 4\n");
  const std::string line = captured.Err();
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
  for (const char* part : {"readblock 4", "-103", "用户卡认证错误", "the card refused the key", "try another key"}) {
    EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
  }
}

TEST(ToolOutput, JsonIsOneDocumentWithTheErrorAndExitCode) {
  Captured captured(true);
  captured.output.Field("serial", "serial", "A1B2C3D4");
  captured.output.Entry("blocks", {{"block", 4}}, "block 4");
  captured.output.Collect("blocks", {{"block", 5}});
  captured.output.Text("only for people");
  captured.output.CallFailed({.call = "opencard", .result = 1, .status = -101, .message = "天线范围内无卡",
                              .meaning = "no card", .detail = "", .hint = ""});
  captured.output.Finish(101);
  const nlohmann::json document = nlohmann::json::parse(captured.Out());
  EXPECT_EQ(document["serial"], "A1B2C3D4");
  EXPECT_EQ(document["blocks"].size(), 2u);
  EXPECT_EQ(document["error"]["result"], 1);
  EXPECT_EQ(document["error"]["message"], "天线范围内无卡");
  EXPECT_EQ(document["error"]["status"], -101);
  EXPECT_EQ(document["error"]["meaning"], "no card");
  EXPECT_FALSE(document["error"].contains("hint")) << "no empty hint";
  EXPECT_EQ(document["exit_code"], 101);
  EXPECT_EQ(captured.Err(), "");
}

TEST(ToolOutput, BytesThatAreNoUtf8StillGiveValidJson) {
  Captured captured(true);
  captured.output.Field("message", "message", std::string("\xB3\xC9"));  // GBK that failed to convert
  captured.output.Finish(0);
  EXPECT_FALSE(nlohmann::json::parse(captured.Out(), nullptr, false).is_discarded());
}

}  // namespace
}  // namespace vqtool
