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

  // PRO_COMMAND_H and SAM_COMMAND_H with hex text: "data/SW", or "result n"
  // when the export fails.
  std::string ProText(const std::string& apdu);
  std::string SamText(const std::string& apdu);

  // The export of that name, or null when the library lacks it (the
  // export-list test names every export that must be there).
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
  VQHW_EXPORT(opencard);
  VQHW_EXPORT(opencard_h);
  VQHW_EXPORT(loadkey);
  VQHW_EXPORT(loadkey_h);
  VQHW_EXPORT(readblock);
  VQHW_EXPORT(readblock_h);
  VQHW_EXPORT(writeblock);
  VQHW_EXPORT(writeblock_h);
  VQHW_EXPORT(writekey);
  VQHW_EXPORT(writekey_h);
  VQHW_EXPORT(readfile);
  VQHW_EXPORT(readfile_h);
  VQHW_EXPORT(writefile);
  VQHW_EXPORT(writefile_h);
  VQHW_EXPORT(pro_command_h);
  VQHW_EXPORT(PRO_COMMAND_H);
  VQHW_EXPORT(sam_command_h);
  VQHW_EXPORT(SAM_COMMAND_H);
  VQHW_EXPORT(hextobin);
  VQHW_EXPORT(hextodec);
  VQHW_EXPORT(hextoascii);
  VQHW_EXPORT(asciitohex);
  VQHW_EXPORT(asciitolong);
  VQHW_EXPORT(longtoascii);
  VQHW_EXPORT(hextoulong);
  VQHW_EXPORT(ulongtohex);
  VQHW_EXPORT(hextouint);
  VQHW_EXPORT(uinttohex);
  VQHW_EXPORT(straxorstrb);
  VQHW_EXPORT(straxorstrb_h);
  VQHW_EXPORT(stimetoltime);
  VQHW_EXPORT(ltimetostime);
  VQHW_EXPORT(get_time);
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
