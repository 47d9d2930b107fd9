// The status texts are GBK bytes in the source; here they are checked
// against the UTF-8 texts converted by the C library's iconv.

#include <iconv.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/card_kind_rule.h"
#include "protocol/status_tables.h"

namespace vqhw {
namespace {

std::string ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  EXPECT_NE(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

const std::vector<std::pair<ReaderStatus, std::string>> kTexts = {
    {0, "成功执行"}, {-1, "第一个参数错误"}, {-2, "第二个参数错误"}, {-3, "第三个参数错误"},
    {-4, "第四个参数错误"}, {-5, "第五个参数错误"}, {-6, "串行口不存在"}, {-7, "串行口没打开"},
    {-8, "串行口已经打开"}, {-9, "串行口已经关闭"}, {-10, "接收数据超时"}, {-11, "发送数据超时"},
    {-12, "串行口无法打开"}, {-13, "串行口参数设定错误"}, {-14, "串行口无法发送数据"},
    {-20, "无法识别的串行数据流"}, {-21, "CRC校验错误"}, {-22, "通讯错误"}, {-23, "找不到机具"},
    {-24, "卡认证错误"}, {-26, "发现机具，但机具中无PSAM卡"}, {-28, "数据包含非法字符"},
    {-100, "没有错误"}, {-101, "天线范围内无卡"}, {-102, "用户卡CRC校验错误"},
    {-103, "用户卡认证错误"}, {-104, "用户卡奇偶校验错误"}, {-105, "用户卡指令错误"},
    {-106, "非法的用户卡序列号"}, {-107, "非法的用户卡密码"}, {-108, "非法操作，用户卡未经认证"},
    {-109, "用户卡不识别的指令"}, {-110, "用户卡不识别的数据帧"}, {-111, "用户卡不识别的数据帧"},
    {-112, "无效的IC卡指令"}, {-113, "天线范围内有多张用户卡"}, {-114, "用户卡操作超时"},
    {-115, "用户卡指令无法执行"}, {-116, "用户卡指令参数错误"},
    {-117, "用户卡电子钱包操作钱额无效"}, {-118, "写用户卡操作错误"}, {-119, "机具缓冲区溢出"},
    {-161, "PSAM卡操作超时"}, {-162, "PSAM卡指令参数错误"}, {-163, "PSAM卡CRC校验错误"},
    {-181, "机具缓冲区溢出"}, {-191, "机具通讯错误"},
};
const std::string kUnknown = "未知的错误类型";
// The setting of a freshly loaded library.
constexpr int32_t kFresh = CardKindRule::kBothKinds;

TEST(StatusText, EveryRowIsItsGbkText) {
  for (const auto& [code, utf8] : kTexts) {
    EXPECT_EQ(StatusText(code, kFresh), ToGbk(utf8)) << code;
  }
}

TEST(StatusText, ValuesWithoutARowGiveTheDefault) {
  for (ReaderStatus code : {-15, -16, -25, -1000, 1, -356, -355, -165, -120, -99, INT32_MIN}) {
    EXPECT_EQ(StatusText(code, kFresh), ToGbk(kUnknown)) << code;
  }
  EXPECT_EQ(StatusText(StatusFromByte(0xFF), kFresh), ToGbk("天线范围内无卡"));
  EXPECT_EQ(StatusText(StatusFromByte(0x01), kFresh), ToGbk(kUnknown));
}

TEST(StatusText, CardKindTextNamesTheKindThatIsAccepted) {
  const std::string one = ToGbk("不支持的卡类型，本机具被设定为只支持MIFARE ONE卡");
  const std::string pro = ToGbk("不支持的卡类型，本机具被设定为只支持MIFARE PRO卡");
  EXPECT_EQ(one.size(), 48u) << "the longest text: a 49-byte buffer holds it";
  EXPECT_EQ(StatusText(-27, CardKindRule::kMifareOne), one);
  for (int32_t setting : {CardKindRule::kMifarePro, CardKindRule::kBothKinds}) {
    EXPECT_EQ(StatusText(-27, setting), pro);
  }
}

TEST(StatusText, NoTextIsLongerThan48Bytes) {
  for (ReaderStatus code = -1001; code <= 1; ++code) {
    EXPECT_LE(std::string(StatusText(code, kFresh)).size(), 48u) << code;
  }
}

TEST(CardStatusWordText, KnownAndUnknownWords) {
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> words = {
      {{0x90, 0x00}, "EXECUTED SUCCESSFULLY"},
      {{0x6A, 0x82}, "FILE NOT FOUND"},
      {{0x94, 0x01}, "MONEY IS NOT ENOUGH"},
      {{0x69, 0x83}, "KEY LOCKED"},
      {{0x6A, 0x81}, "FUNCTION NOT SUPPORTED or NO 'MF' IN CARD or CARD LOCKED"},
      {{0x6D, 0x00}, "UNKNOWN SW1 and SW2"},
      {{0x61, 0x10}, "UNKNOWN SW1 and SW2"},
      {{0x00, 0x90}, "UNKNOWN SW1 and SW2"},
  };
  for (const auto& [sw, text] : words) {
    EXPECT_EQ(CardStatusWordText(sw.data()), text);
  }
}

}  // namespace
}  // namespace vqhw
