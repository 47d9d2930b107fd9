// The tool explains every status the library can report, with the
// library's own message in UTF-8.

#include <gtest/gtest.h>

#include "protocol/card_kind_rule.h"
#include "protocol/status_tables.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {
namespace {

TEST(ToolStatusTexts, EveryStatusWithALibraryTextHasAMeaning) {
  // The card-kind setting of a freshly loaded library.
  const auto text = [](int32_t status) {
    return std::string(vqhw::StatusText(status, vqhw::CardKindRule::kBothKinds));
  };
  const std::string unknown = text(-1000);
  for (int32_t status = -400; status <= 0; ++status) {
    if (text(status) == unknown) continue;
    const StatusExplanation explained = ExplainStatus(status);
    EXPECT_EQ(explained.message, GbkToUtf8(text(status))) << status;
    EXPECT_NE(explained.meaning, "not a status the library gives") << status;
  }
  EXPECT_EQ(ExplainStatus(-101).message, "天线范围内无卡") << "GBK is shown as UTF-8";
  EXPECT_EQ(ExplainStatus(1).message, ExplainStatus(-101).message) << "result 1 is no card";
  EXPECT_EQ(StatusWordText(0x6A82), "FILE NOT FOUND");
}

TEST(ToolStatusTexts, StatusBytesWithoutARowNameTheirByte) {
  EXPECT_EQ(StatusOfByte(0xFF), -101);
  EXPECT_NE(ExplainStatus(-300).meaning.find("38"), std::string::npos);
  EXPECT_EQ(ExplainStatus(-50).meaning, "not a status the library gives");
}

}  // namespace
}  // namespace vqtool
