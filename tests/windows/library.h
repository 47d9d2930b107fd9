#pragma once
// VqhwLib.dll loaded at run time, as lane software loads it, with typed
// access to its exports: VQHW_EXPORT(library, open_reader) has the type the
// public header declares, calling convention included.

#include <windows.h>

#include <string>

#include "VqhwLib.h"

namespace wintest {

// The DLL beside this program.
std::string LibraryPath();

class Library {
 public:
  Library();  // loads the DLL; Loaded() tells whether that worked
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  HMODULE Module() const { return module_; }
  // Unloads now; false when FreeLibrary failed.
  bool Free();
  FARPROC Find(const char* name) const;

  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(Find(name)));
  }

 private:
  HMODULE module_ = nullptr;
};

// The message of the last status, as getvqicerror gives it.
std::string LastStatusText(const Library& library);

// Opens the reader on `port`; a failed check and false when it did not open.
bool OpenReader(const Library& library, int port);

// The message the library has for each status the tests look at.
namespace text {
extern const char* const kSuccess;               // 0
extern const char* const kAlreadyClosed;         // -9
extern const char* const kCannotOpen;            // -12
extern const char* const kReaderNotFound;        // -23
extern const char* const kNoPsam;                // -26
extern const char* const kArgument1;             // -1 for the first argument
extern const char* const kArgument3;             // -3
extern const char* const kArgument4;             // -4
extern const char* const kNotOpen;               // -7
extern const char* const kIllegalCharacters;     // -28
extern const char* const kNoCard;                // 1
extern const char* const kAuthenticationFailed;  // -103
extern const char* const kNotAuthenticated;      // -108
extern const char* const kCommandRefused;        // -115
extern const char* const kOnlyMifareOne;         // -27 while only MIFARE ONE cards are accepted
extern const char* const kOnlyMifarePro;         // -27 while only CPU cards are accepted
}  // namespace text

}  // namespace wintest

#define VQHW_EXPORT(library, name) (library).Get<decltype(&::name)>(#name)
