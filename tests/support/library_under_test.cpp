#include "support/library_under_test.h"

#include <dlfcn.h>
#include <iconv.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>

namespace vqtest {

namespace {

void* LoadCopy(std::string& copyPath) {
  static std::atomic<int> counter{0};
  copyPath = (std::filesystem::temp_directory_path() /
              ("libVqhwLib-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".so"))
                 .string();
  std::filesystem::copy_file(VQHW_LIBRARY_PATH, copyPath,
                             std::filesystem::copy_options::overwrite_existing);
  void* handle = ::dlopen(copyPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
  return handle;
}

}  // namespace

LibraryUnderTest::LibraryUnderTest() {}  // members load through Symbol() below

void* LibraryUnderTest::Symbol(const char* name) const {
  auto* self = const_cast<LibraryUnderTest*>(this);
  if (self->handle_ == nullptr) self->handle_ = LoadCopy(self->copyPath_);
  return ::dlsym(handle_, name);
}

LibraryUnderTest::~LibraryUnderTest() { Unload(); }

void LibraryUnderTest::Unload() {
  if (handle_ != nullptr) {
    ::dlclose(handle_);
    handle_ = nullptr;
    std::filesystem::remove(copyPath_);
  }
}

std::string LibraryUnderTest::LastStatusText() const {
  char text[64] = {};
  EXPECT_EQ(getvqicerror(text), 0);
  return text;
}

std::string Gbk(const std::string& utf8) {
  iconv_t cd = ::iconv_open("GBK", "UTF-8");
  std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

namespace {
template <typename Export>
std::string ApduText(Export exported, const std::string& apdu) {
  char data[600] = "Z";
  char sw[8] = "Z";
  const int32_t result = exported(apdu.c_str(), data, sw);
  return result == 0 ? std::string(data) + "/" + sw : "result " + std::to_string(result);
}
}  // namespace

std::string LibraryUnderTest::ProText(const std::string& apdu) { return ApduText(PRO_COMMAND_H, apdu); }
std::string LibraryUnderTest::SamText(const std::string& apdu) { return ApduText(SAM_COMMAND_H, apdu); }

}  // namespace vqtest
