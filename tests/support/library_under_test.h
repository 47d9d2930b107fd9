#pragma once
// A fresh instance of the built shared library for each test: the library
// file is copied under a new name and loaded with dlopen, so every test
// starts from the state of a newly loaded library (sequence number 0, last
// status 0) and ends with its unload. The exports are found by name, as a
// lane program finds them.

#include <string>

#include "VqhwLib.h"

namespace vqtest {

class LibraryUnderTest {
  // Declared first: the export pointers below load the library as they are
  // initialised.
  std::string copyPath_;
  void* handle_ = nullptr;

 public:
  LibraryUnderTest();
  ~LibraryUnderTest();  // unloads the library, as a program that frees it
  LibraryUnderTest(const LibraryUnderTest&) = delete;
  LibraryUnderTest& operator=(const LibraryUnderTest&) = delete;

  // Unloads now (idempotent).
  void Unload();

  // The export of that name; fails the test when the library lacks it.
  void* Symbol(const char* name) const;

#define VQHW_EXPORT(name) decltype(&::name) name = reinterpret_cast<decltype(&::name)>(Symbol(#name))
  VQHW_EXPORT(open_reader);
  VQHW_EXPORT(close_reader);
  VQHW_EXPORT(getreaderinfo);
  VQHW_EXPORT(getvqicerror);
  VQHW_EXPORT(SelectCardType);
  VQHW_EXPORT(set_mmi);
  VQHW_EXPORT(RF_reset_h);
  VQHW_EXPORT(SAM_reset_h);
  VQHW_EXPORT(PRO_reset_h);
  VQHW_EXPORT(closecard);
  VQHW_EXPORT(changebaudrate);
  VQHW_EXPORT(selectadf);
  VQHW_EXPORT(enterdebug);
  VQHW_EXPORT(close_pro);
#undef VQHW_EXPORT

  // The message of the last status, as getvqicerror gives it (GBK).
  std::string LastStatusText() const;
};

// UTF-8 text in the GBK bytes the library hands out.
std::string Gbk(const std::string& utf8);

}  // namespace vqtest
