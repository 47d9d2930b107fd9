#include "library.h"

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

namespace text {
const char* const kSuccess = "\xB3\xC9\xB9\xA6\xD6\xB4\xD0\xD0";  // 成功执行
const char* const kAlreadyClosed = "\xB4\xAE\xD0\xD0\xBF\xDA\xD2\xD1\xBE\xAD\xB9\xD8\xB1\xD5";  // 串行口已经关闭
const char* const kCannotOpen = "\xB4\xAE\xD0\xD0\xBF\xDA\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA";  // 串行口无法打开
const char* const kReaderNotFound = "\xD5\xD2\xB2\xBB\xB5\xBD\xBB\xFA\xBE\xDF";  // 找不到机具
const char* const kNoPsam =
    "\xB7\xA2\xCF\xD6\xBB\xFA\xBE\xDF\xA3\xAC\xB5\xAB\xBB\xFA\xBE\xDF\xD6\xD0\xCE\xDEPSAM\xBF\xA8";  // 发现机具，但机具中无PSAM卡
}  // namespace text

}  // namespace wintest
