#include "library.h"

#include "harness.h"

namespace wintest {

std::string LibraryPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory(path, length);
  return directory.substr(0, directory.find_last_of('\\') + 1) + "VqhwLib.dll";
}

Library::Library() : module_(LoadLibraryA(LibraryPath().c_str())) {}

Library::~Library() { Free(); }

bool Library::Free() {
  if (module_ == nullptr) return true;
  BOOL freed = FreeLibrary(module_);
  module_ = nullptr;
  return freed != FALSE;
}

FARPROC Library::Find(const char* name) const {
  return module_ == nullptr ? nullptr : GetProcAddress(module_, name);
}

std::string LastStatusText(const Library& library) {
  char text[256] = {};
  auto getvqicerror = VQHW_EXPORT(library, getvqicerror);
  if (getvqicerror == nullptr) return "(no getvqicerror)";
  getvqicerror(text);
  return text;
}

bool OpenReader(const Library& library, int port) {
  const int32_t result = VQHW_EXPORT(library, open_reader)(port, 0);
  WT_CHECK_EQ(result, 0);
  return result == 0;
}

namespace text {
const char* const kSuccess = "\xB3\xC9\xB9\xA6\xD6\xB4\xD0\xD0";  // 成功执行
const char* const kAlreadyClosed = "\xB4\xAE\xD0\xD0\xBF\xDA\xD2\xD1\xBE\xAD\xB9\xD8\xB1\xD5";  // 串行口已经关闭
const char* const kCannotOpen = "\xB4\xAE\xD0\xD0\xBF\xDA\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA";  // 串行口无法打开
const char* const kReaderNotFound = "\xD5\xD2\xB2\xBB\xB5\xBD\xBB\xFA\xBE\xDF";  // 找不到机具
const char* const kNoPsam =
    "\xB7\xA2\xCF\xD6\xBB\xFA\xBE\xDF\xA3\xAC\xB5\xAB\xBB\xFA\xBE\xDF\xD6\xD0\xCE\xDEPSAM\xBF\xA8";  // 发现机具，但机具中无PSAM卡
const char* const kArgument1 = "\xB5\xDA\xD2\xBB\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3";  // 第一个参数错误
const char* const kArgument3 = "\xB5\xDA\xC8\xFD\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3";  // 第三个参数错误
const char* const kArgument4 = "\xB5\xDA\xCB\xC4\xB8\xF6\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3";  // 第四个参数错误
const char* const kNotOpen = "\xB4\xAE\xD0\xD0\xBF\xDA\xC3\xBB\xB4\xF2\xBF\xAA";  // 串行口没打开
const char* const kIllegalCharacters =
    "\xCA\xFD\xBE\xDD\xB0\xFC\xBA\xAC\xB7\xC7\xB7\xA8\xD7\xD6\xB7\xFB";  // 数据包含非法字符
const char* const kNoCard = "\xCC\xEC\xCF\xDF\xB7\xB6\xCE\xA7\xC4\xDA\xCE\xDE\xBF\xA8";  // 天线范围内无卡
const char* const kAuthenticationFailed =
    "\xD3\xC3\xBB\xA7\xBF\xA8\xC8\xCF\xD6\xA4\xB4\xED\xCE\xF3";  // 用户卡认证错误
const char* const kNotAuthenticated =
    "\xB7\xC7\xB7\xA8\xB2\xD9\xD7\xF7\xA3\xAC\xD3\xC3\xBB\xA7\xBF\xA8\xCE\xB4\xBE\xAD\xC8\xCF\xD6\xA4";  // 非法操作，用户卡未经认证
const char* const kCommandRefused =
    "\xD3\xC3\xBB\xA7\xBF\xA8\xD6\xB8\xC1\xEE\xCE\xDE\xB7\xA8\xD6\xB4\xD0\xD0";  // 用户卡指令无法执行
const char* const kOnlyMifareOne =
    "\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xBF\xA8\xC0\xE0\xD0\xCD\xA3\xAC\xB1\xBE\xBB\xFA\xBE\xDF\xB1\xBB"
    "\xC9\xE8\xB6\xA8\xCE\xAA\xD6\xBB\xD6\xA7\xB3\xD6MIFARE ONE\xBF\xA8";  // 不支持的卡类型，本机具被设定为只支持MIFARE ONE卡
const char* const kOnlyMifarePro =
    "\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xBF\xA8\xC0\xE0\xD0\xCD\xA3\xAC\xB1\xBE\xBB\xFA\xBE\xDF\xB1\xBB"
    "\xC9\xE8\xB6\xA8\xCE\xAA\xD6\xBB\xD6\xA7\xB3\xD6MIFARE PRO\xBF\xA8";  // 不支持的卡类型，本机具被设定为只支持MIFARE PRO卡
}  // namespace text

}  // namespace wintest
