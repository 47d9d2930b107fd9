// The one table of the reader statuses (message and meaning) and the texts
// of the card status words. Messages are GBK bytes, handed out as they
// stand; the UTF-8 beside each is for the reader of this file. This unit
// needs no other unit of the library (headers only), so the tools compile
// it too instead of keeping copies.

#include "protocol/status_tables.h"

#include <algorithm>
#include <array>

#include "protocol/card_kind_rule.h"

namespace vqhw {

namespace {

// A status, its message (null: it has none of its own) and what it means
// for people, in English.
struct StatusRow {
  ReaderStatus status;
  const char* text;
  const char* meaning;
};

constexpr std::array<StatusRow, 51> kStatusRows{{
    {0, "\xB3\xC9\xB9\xA6\xD6\xB4\xD0\xD0",  // 成功执行
     "success"},
    {-1, "\xB5\xDA\xD2\xBB\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // 第一个参数错误
     "first argument wrong; as a result also: port not open, cannot be opened or set up, cannot send, or reader not found (getvqicerror tells which)"},
    {-2, "\xB5\xDA\xB6\xFE\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // 第二个参数错误
     "second argument wrong"},
    {-3, "\xB5\xDA\xC8\xFD\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // 第三个参数错误
     "third argument wrong"},
    {-4, "\xB5\xDA\xCB\xC4\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // 第四个参数错误
     "fourth argument wrong"},
    {-5, "\xB5\xDA\xCE\xE5\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // 第五个参数错误
     "fifth argument wrong"},
    {-6, "\xB4\xAE\xD0\xD0\xBF\xDA\xB2\xBB\xB4\xE6\xD4\xDA",  // 串行口不存在
     "the serial port does not exist"},
    {-7, "\xB4\xAE\xD0\xD0\xBF\xDA\xC3\xBB\xB4\xF2\xBF\xAA",  // 串行口没打开
     "the port is not open: open the reader first"},
    {-8, "\xB4\xAE\xD0\xD0\xBF\xDA\xD2\xD1\xBE\xAD\xB4\xF2\xBF\xAA",  // 串行口已经打开
     "the port is already open"},
    {-9, "\xB4\xAE\xD0\xD0\xBF\xDA\xD2\xD1\xBE\xAD\xB9\xD8\xB1\xD5",  // 串行口已经关闭
     "the port is already closed"},
    {-10, "\xBD\xD3\xCA\xD5\xCA\xFD\xBE\xDD\xB3\xAC\xCA\xB1",  // 接收数据超时
     "the reader did not answer in time"},
    {-11, "\xB7\xA2\xCB\xCD\xCA\xFD\xBE\xDD\xB3\xAC\xCA\xB1",  // 发送数据超时
     "sending to the reader timed out"},
    {-12, "\xB4\xAE\xD0\xD0\xBF\xDA\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA",  // 串行口无法打开
     "the port cannot be opened: no such device, no permission, or another program has it"},
    {-13, "\xB4\xAE\xD0\xD0\xBF\xDA\xB2\xCE\xCA\xFD\xC9\xE8\xB6\xA8\xB4\xED\xCE\xF3",  // 串行口参数设定错误
     "the port's settings cannot be read"},
    {-14, "\xB4\xAE\xD0\xD0\xBF\xDA\xCE\xDE\xB7\xA8\xB7\xA2\xCB\xCD\xCA\xFD\xBE\xDD",  // 串行口无法发送数据
     "the port cannot send"},
    {-20, "\xCE\xDE\xB7\xA8\xCA\xB6\xB1\xF0\xB5\xC4\xB4\xAE\xD0\xD0\xCA\xFD\xBE\xDD\xC1\xF7",  // 无法识别的串行数据流
     "unrecognised bytes on the line"},
    {-21, "CRC\xD0\xA3\xD1\xE9\xB4\xED\xCE\xF3",  // CRC校验错误
     "check byte wrong: the reader's answer was spoilt on the line, three times"},
    {-22, "\xCD\xA8\xD1\xB6\xB4\xED\xCE\xF3",  // 通讯错误
     "communication error: a success answer with fewer data bytes than its command returns"},
    {-23, "\xD5\xD2\xB2\xBB\xB5\xBD\xBB\xFA\xBE\xDF",  // 找不到机具
     "the port opened but no reader answered the probe: check cable, power and port"},
    {-24, "\xBF\xA8\xC8\xCF\xD6\xA4\xB4\xED\xCE\xF3",  // 卡认证错误
     "card authentication failed"},
    {-25, nullptr,
     "the answer carried a wrong sequence number"},
    {-26, "\xB7\xA2\xCF\xD6\xBB\xFA\xBE\xDF\xA3\xAC\xB5\xAB\xBB\xFA\xBE\xDF\xD6\xD0\xCE\xDEPSAM\xBF\xA8",  // 发现机具，但机具中无PSAM卡
     "the reader answers but has no PSAM in its slot"},
    {-27, nullptr,
     "card kind not accepted: SelectCardType allows only the other kind"},
    {-28, "\xCA\xFD\xBE\xDD\xB0\xFC\xBA\xAC\xB7\xC7\xB7\xA8\xD7\xD6\xB7\xFB",  // 数据包含非法字符
     "a hex text holds characters that are not hex digits"},
    {-29, "\xB6\xAF\xCC\xAC\xBF\xE2\xD5\xFD\xC3\xA6\xA3\xBA\xB1\xBE\xCF\xDF\xB3\xCC\xB5\xC4\xB5\xF7\xD3\xC3\xC9\xD0\xCE\xB4\xBD\xE1\xCA\xF8",  // 动态库正忙：本线程的调用尚未结束
     "the library is busy in this thread: called from a signal handler that interrupted one of its calls; refused, nothing done"},
    {-100, "\xC3\xBB\xD3\xD0\xB4\xED\xCE\xF3",  // 没有错误
     "no error"},
    {-101, "\xCC\xEC\xCF\xDF\xB7\xB6\xCE\xA7\xC4\xDA\xCE\xDE\xBF\xA8",  // 天线范围内无卡
     "no card in the antenna field"},
    {-102, "\xD3\xC3\xBB\xA7\xBF\xA8" "CRC\xD0\xA3\xD1\xE9\xB4\xED\xCE\xF3",  // 用户卡CRC校验错误
     "card CRC error"},
    {-103, "\xD3\xC3\xBB\xA7\xBF\xA8\xC8\xCF\xD6\xA4\xB4\xED\xCE\xF3",  // 用户卡认证错误
     "the card refused the key (authentication failed)"},
    {-104, "\xD3\xC3\xBB\xA7\xBF\xA8\xC6\xE6\xC5\xBC\xD0\xA3\xD1\xE9\xB4\xED\xCE\xF3",  // 用户卡奇偶校验错误
     "card parity error"},
    {-105, "\xD3\xC3\xBB\xA7\xBF\xA8\xD6\xB8\xC1\xEE\xB4\xED\xCE\xF3",  // 用户卡指令错误
     "card command error: the card is not of the kind the command is for"},
    {-106, "\xB7\xC7\xB7\xA8\xB5\xC4\xD3\xC3\xBB\xA7\xBF\xA8\xD0\xF2\xC1\xD0\xBA\xC5",  // 非法的用户卡序列号
     "no selected card has that serial number"},
    {-107, "\xB7\xC7\xB7\xA8\xB5\xC4\xD3\xC3\xBB\xA7\xBF\xA8\xC3\xDC\xC2\xEB",  // 非法的用户卡密码
     "the reader holds no key for that sector"},
    {-108, "\xB7\xC7\xB7\xA8\xB2\xD9\xD7\xF7\xA3\xAC\xD3\xC3\xBB\xA7\xBF\xA8\xCE\xB4\xBE\xAD\xC8\xCF\xD6\xA4",  // 非法操作，用户卡未经认证
     "the block's sector is not authenticated"},
    {-109, "\xD3\xC3\xBB\xA7\xBF\xA8\xB2\xBB\xCA\xB6\xB1\xF0\xB5\xC4\xD6\xB8\xC1\xEE",  // 用户卡不识别的指令
     "the reader does not know the command"},
    {-110, "\xD3\xC3\xBB\xA7\xBF\xA8\xB2\xBB\xCA\xB6\xB1\xF0\xB5\xC4\xCA\xFD\xBE\xDD\xD6\xA1",  // 用户卡不识别的数据帧
     "unrecognised data frame"},
    {-111, "\xD3\xC3\xBB\xA7\xBF\xA8\xB2\xBB\xCA\xB6\xB1\xF0\xB5\xC4\xCA\xFD\xBE\xDD\xD6\xA1",  // 用户卡不识别的数据帧
     "unrecognised data frame"},
    {-112, "\xCE\xDE\xD0\xA7\xB5\xC4IC\xBF\xA8\xD6\xB8\xC1\xEE",  // 无效的IC卡指令
     "invalid card command"},
    {-113, "\xCC\xEC\xCF\xDF\xB7\xB6\xCE\xA7\xC4\xDA\xD3\xD0\xB6\xE0\xD5\xC5\xD3\xC3\xBB\xA7\xBF\xA8",  // 天线范围内有多张用户卡
     "more than one card in the antenna field"},
    {-114, "\xD3\xC3\xBB\xA7\xBF\xA8\xB2\xD9\xD7\xF7\xB3\xAC\xCA\xB1",  // 用户卡操作超时
     "the card did not answer in time"},
    {-115, "\xD3\xC3\xBB\xA7\xBF\xA8\xD6\xB8\xC1\xEE\xCE\xDE\xB7\xA8\xD6\xB4\xD0\xD0",  // 用户卡指令无法执行
     "the card cannot do it: the access bits or the block forbid it"},
    {-116, "\xD3\xC3\xBB\xA7\xBF\xA8\xD6\xB8\xC1\xEE\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // 用户卡指令参数错误
     "the command's data has the wrong length or content"},
    {-117, "\xD3\xC3\xBB\xA7\xBF\xA8\xB5\xE7\xD7\xD3\xC7\xAE\xB0\xFC\xB2\xD9\xD7\xF7\xC7\xAE\xB6\xEE\xCE\xDE\xD0\xA7",  // 用户卡电子钱包操作钱额无效
     "invalid amount for a value block"},
    {-118, "\xD0\xB4\xD3\xC3\xBB\xA7\xBF\xA8\xB2\xD9\xD7\xF7\xB4\xED\xCE\xF3",  // 写用户卡操作错误
     "writing the card failed"},
    {-119, "\xBB\xFA\xBE\xDF\xBB\xBA\xB3\xE5\xC7\xF8\xD2\xE7\xB3\xF6",  // 机具缓冲区溢出
     "reader buffer overflow: an answer too long for one frame"},
    {-161, "PSAM\xBF\xA8\xB2\xD9\xD7\xF7\xB3\xAC\xCA\xB1",  // PSAM卡操作超时
     "the PSAM did not answer"},
    {-162, "PSAM\xBF\xA8\xD6\xB8\xC1\xEE\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3",  // PSAM卡指令参数错误
     "PSAM command argument error"},
    {-163, "PSAM\xBF\xA8" "CRC\xD0\xA3\xD1\xE9\xB4\xED\xCE\xF3",  // PSAM卡CRC校验错误
     "PSAM CRC error"},
    {-181, "\xBB\xFA\xBE\xDF\xBB\xBA\xB3\xE5\xC7\xF8\xD2\xE7\xB3\xF6",  // 机具缓冲区溢出
     "reader buffer overflow"},
    {-191, "\xBB\xFA\xBE\xDF\xCD\xA8\xD1\xB6\xB4\xED\xCE\xF3",  // 机具通讯错误
     "reader communication error: it received a frame with a bad check byte"},
    {-1000, nullptr,
     "time-out: no answer after three attempts"},
}};

constexpr const char* kUnknownStatus = "\xCE\xB4\xD6\xAA\xB5\xC4\xB4\xED\xCE\xF3\xC0\xE0\xD0\xCD";  // 未知的错误类型
constexpr const char* kOnlyMifareOne =
    "\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xBF\xA8\xC0\xE0\xD0\xCD\xA3\xAC\xB1\xBE\xBB\xFA\xBE\xDF\xB1\xBB\xC9\xE8\xB6\xA8\xCE\xAA\xD6\xBB\xD6\xA7\xB3\xD6MIFARE ONE\xBF\xA8";  // 不支持的卡类型，本机具被设定为只支持MIFARE ONE卡
constexpr const char* kOnlyMifarePro =
    "\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xBF\xA8\xC0\xE0\xD0\xCD\xA3\xAC\xB1\xBE\xBB\xFA\xBE\xDF\xB1\xBB\xC9\xE8\xB6\xA8\xCE\xAA\xD6\xBB\xD6\xA7\xB3\xD6MIFARE PRO\xBF\xA8";  // 不支持的卡类型，本机具被设定为只支持MIFARE PRO卡

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

const StatusRow* FindStatus(ReaderStatus code) {
  const auto* row = std::find_if(kStatusRows.begin(), kStatusRows.end(),
                                 [&](const StatusRow& r) { return r.status == code; });
  return row == kStatusRows.end() ? nullptr : row;
}

}  // namespace

const char* StatusText(ReaderStatus code, int32_t cardKindSetting) {
  if (code == status::kCardKindRefused) {
    return cardKindSetting == CardKindRule::kMifareOne ? kOnlyMifareOne : kOnlyMifarePro;
  }
  const StatusRow* row = FindStatus(code);
  return row == nullptr || row->text == nullptr ? kUnknownStatus : row->text;
}

const char* StatusMeaning(ReaderStatus code) {
  const StatusRow* row = FindStatus(code);
  return row == nullptr ? nullptr : row->meaning;
}

const char* StatusWordMessage(uint16_t statusWord) {
  const auto* row = std::find_if(kStatusWordRows.begin(), kStatusWordRows.end(),
                                 [&](const StatusWordRow& r) { return r.statusWord == statusWord; });
  return row == kStatusWordRows.end() ? "UNKNOWN SW1 and SW2" : row->text;
}

const char* CardStatusWordText(const uint8_t* statusWord) {
  return StatusWordMessage(static_cast<uint16_t>(statusWord[0] << 8 | statusWord[1]));
}

}  // namespace vqhw
