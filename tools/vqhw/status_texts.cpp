#include "vqhw/status_texts.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "VqhwLib.h"

namespace vqtool {

namespace {

struct StatusRow {
  int32_t status;
  const char* message;
  const char* meaning;
};

constexpr std::array<StatusRow, 50> kStatusRows{{
    {0, "成功执行", "success"},
    {-1, "第一个参数错误",
     "first argument wrong; as a result also: port not open, cannot be opened or set up, cannot "
     "send, or reader not found (getvqicerror tells which)"},
    {-2, "第二个参数错误", "second argument wrong"},
    {-3, "第三个参数错误", "third argument wrong"},
    {-4, "第四个参数错误", "fourth argument wrong"},
    {-5, "第五个参数错误", "fifth argument wrong"},
    {-6, "串行口不存在", "the serial port does not exist"},
    {-7, "串行口没打开", "the port is not open: open the reader first"},
    {-8, "串行口已经打开", "the port is already open"},
    {-9, "串行口已经关闭", "the port is already closed"},
    {-10, "接收数据超时", "the reader did not answer in time"},
    {-11, "发送数据超时", "sending to the reader timed out"},
    {-12, "串行口无法打开",
     "the port cannot be opened: no such device, no permission, or another program has it"},
    {-13, "串行口参数设定错误", "the port's settings cannot be read"},
    {-14, "串行口无法发送数据", "the port cannot send"},
    {-20, "无法识别的串行数据流", "unrecognised bytes on the line"},
    {-21, "CRC校验错误", "check byte wrong"},
    {-22, "通讯错误", "communication error: an answer too short for its command"},
    {-23, "找不到机具",
     "the port opened but no reader answered the probe: check cable, power and port"},
    {-24, "卡认证错误", "card authentication failed"},
    {-25, "未知的错误类型", "the answer carried a wrong sequence number"},
    {-26, "发现机具，但机具中无PSAM卡", "the reader answers but has no PSAM in its slot"},
    {-27, "不支持的卡类型，本机具被设定为只支持MIFARE PRO卡",
     "card kind not accepted: SelectCardType allows only the other kind"},
    {-28, "数据包含非法字符", "a hex text holds characters that are not hex digits"},
    {-100, "没有错误", "no error"},
    {-101, "天线范围内无卡", "no card in the antenna field"},
    {-102, "用户卡CRC校验错误", "card CRC error"},
    {-103, "用户卡认证错误", "the card refused the key (authentication failed)"},
    {-104, "用户卡奇偶校验错误", "card parity error"},
    {-105, "用户卡指令错误", "card command error: the card is not of the kind the command is for"},
    {-106, "非法的用户卡序列号", "no selected card has that serial number"},
    {-107, "非法的用户卡密码", "the reader holds no key for that sector"},
    {-108, "非法操作，用户卡未经认证", "the block's sector is not authenticated"},
    {-109, "用户卡不识别的指令", "the reader does not know the command"},
    {-110, "用户卡不识别的数据帧", "unrecognised data frame"},
    {-111, "用户卡不识别的数据帧", "unrecognised data frame"},
    {-112, "无效的IC卡指令", "invalid card command"},
    {-113, "天线范围内有多张用户卡", "more than one card in the antenna field"},
    {-114, "用户卡操作超时", "the card did not answer in time"},
    {-115, "用户卡指令无法执行", "the card cannot do it: the access bits or the block forbid it"},
    {-116, "用户卡指令参数错误", "the command's data has the wrong length or content"},
    {-117, "用户卡电子钱包操作钱额无效", "invalid amount for a value block"},
    {-118, "写用户卡操作错误", "writing the card failed"},
    {-119, "机具缓冲区溢出", "reader buffer overflow: an answer too long for one frame"},
    {-161, "PSAM卡操作超时", "the PSAM did not answer"},
    {-162, "PSAM卡指令参数错误", "PSAM command argument error"},
    {-163, "PSAM卡CRC校验错误", "PSAM CRC error"},
    {-181, "机具缓冲区溢出", "reader buffer overflow"},
    {-191, "机具通讯错误", "reader communication error: it received a frame with a bad check byte"},
    {-1000, "未知的错误类型", "time-out: no answer after three attempts"},
}};

constexpr const char* kUnknownMessage = "未知的错误类型";

struct StatusWordRow {
  uint16_t statusWord;
  const char* text;
};

constexpr std::array<StatusWordRow, 28> kStatusWordRows{{
    {0x6281, "BAD DATA RETURNED"},
    {0x6283, "SELECT FILE INVALID OR KEY VERIFY INVALID"},
    {0x6400, "STATUS SIGNAL NOT CHANGED"},
    {0x6581, "WRITE EEPROM FAILED"},
    {0x6700, "WRONG LENGTH"},
    {0x6900, "CLA NOT MATCH WITH REQUIREMENT OF LINE PROTECTION"},
    {0x6901, "INVALID STATUS"},
    {0x6981, "INSTRUCTION NOT MATCH WITH FILE STRUTURE"},
    {0x6982, "SAFTY STATUS NOT SUPPORT"},
    {0x6983, "KEY LOCKED"},
    {0x6985, "CONDITIONS NOT SUPPORT"},
    {0x6987, "NO SAFE MESSAGE"},
    {0x6988, "INVALID DATA OF SAFE MESSAGE"},
    {0x6A80, "PARAMETERS OF DATA FIELD"},
    {0x6A81, "FUNCTION NOT SUPPORTED or NO 'MF' IN CARD or CARD LOCKED"},
    {0x6A82, "FILE NOT FOUND"},
    {0x6A83, "RECORD NOT FOUND"},
    {0x6A84, "NOT ENOUGH SPACE IN FILE"},
    {0x6A86, "PARAMERTER P1/P2 ERROR"},
    {0x6B00, "Le/Lc BIGGER THAN FILE LENGTH OR INVALID OFFSET"},
    {0x6E00, "INVALID CLA"},
    {0x6F00, "INVALID DATA"},
    {0x9000, "EXECUTED SUCCESSFULLY"},
    {0x9302, "MAC WRONG"},
    {0x9303, "APPLICATION LOCKED"},
    {0x9401, "MONEY IS NOT ENOUGH"},
    {0x9403, "KEY NOT FOUND"},
    {0x9406, "MAC NEEDED INVALID"},
}};


// A status from a reader status byte that has no row of its own.
std::string StatusByteMeaning(int32_t status) {
  char text[64];
  std::snprintf(text, sizeof text, "reader or card status byte %02X", static_cast<unsigned>(status + 356));
  return text;
}

}  // namespace

int32_t StatusOfByte(uint8_t statusByte) { return static_cast<int32_t>(statusByte) - 356; }

StatusExplanation ExplainStatus(int32_t status) {
  if (status == VQHW_NO_CARD) {
    StatusExplanation noCard = ExplainStatus(-101);
    noCard.status = status;
    noCard.meaning = "the result for status -101: " + noCard.meaning;
    return noCard;
  }
  const auto* row = std::ranges::find(kStatusRows, status, &StatusRow::status);
  if (row != kStatusRows.end()) return {status, row->message, row->meaning};
  if (status >= -355 && status <= -101) return {status, kUnknownMessage, StatusByteMeaning(status)};
  return {status, kUnknownMessage, "not a status the library gives"};
}

std::string StatusWordText(uint16_t statusWord) {
  const auto* row = std::ranges::find(kStatusWordRows, statusWord, &StatusWordRow::statusWord);
  return row == kStatusWordRows.end() ? "UNKNOWN SW1 and SW2" : row->text;
}

}  // namespace vqtool
