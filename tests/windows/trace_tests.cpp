// The trace file under Windows: given up when the DLL is freed, created
// with the user's rights alone, and never opened through a symbolic link.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"
#include "library.h"
#include "test_cases.h"

namespace wintest {

namespace {

std::string TemporaryPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + name + std::to_string(GetCurrentProcessId());
}

// The library reads the variable at its first record, through the C runtime
// that it shares with this program.
void NameTrace(const std::string& path) {
  const std::string setting = "VQHW_TRACE=" + path;
  _putenv(setting.c_str());
}

// One load that records something (the failed open of a missing port), then
// FreeLibrary.
void LoadRecordAndFree(const Setup& setup) {
  Library library;
  WT_CHECK_EQ(VQHW_EXPORT(library, open_reader)(setup.missingPort, 0), -1);
  WT_CHECK(library.Free());
}

std::string Contents(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  return text;
}

// The user's SID, from the process token.
std::string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string user(size, '\0');
  const bool read = size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  if (!read) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  return std::string(static_cast<const char*>(sid), GetLengthSid(sid));
}

// Whether the file's rights allow this user and nobody else. Wine keeps no
// rights of a file's own: it shows them from the Unix mode, with an entry
// for the system beside the user's, and one for everyone when others may
// read it (mode 0644).
bool OnlyTheUserHasRights(const std::string& path) {
  DWORD size = 0;
  GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::string descriptor(size, '\0');
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ACL* acl = nullptr;
  if (size == 0 ||
      !GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
      !GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present ||
      acl == nullptr) {
    return false;
  }
  std::string user = UserSid();
  bool userAllowed = false;
  for (WORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) return false;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    PSID sid = &allowed->SidStart;
    if (!user.empty() && EqualSid(sid, user.data())) {
      userAllowed = true;
    } else if (!IsWellKnownSid(sid, WinLocalSystemSid)) {
      return false;
    }
  }
  return userAllowed;
}

}  // namespace

void TraceFileIsTheUsersAndClosedWhenTheLibraryIsFreed(const Setup& setup) {
  const std::string path = TemporaryPath("vqhw-trace-");
  DeleteFileA(path.c_str());
  NameTrace(path);
  constexpr int kLoads = 8;
  for (int i = 0; i < kLoads; ++i) {
    LoadRecordAndFree(setup);
    // A file still open in this process, shared without delete access,
    // could not be deleted: moving it aside shows the library let go of it.
    const std::string moved = path + ".moved";
    WT_CHECK(MoveFileExA(path.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
    WT_CHECK(MoveFileExA(moved.c_str(), path.c_str(), 0));
  }
  const std::string trace = Contents(path);
  size_t records = 0;
  for (size_t at = trace.find("os error: "); at != std::string::npos;
       at = trace.find("os error: ", at + 1)) {
    ++records;
  }
  WT_CHECK_EQ(static_cast<int64_t>(records), static_cast<int64_t>(kLoads));
  WT_CHECK(OnlyTheUserHasRights(path));
  WT_CHECK(DeleteFileA(path.c_str()));

  // A symbolic link at the path: its target is left alone.
  const std::string target = TemporaryPath("vqhw-trace-target-");
  if (std::FILE* file = std::fopen(target.c_str(), "wb")) {
    std::fputs("not the trace", file);
    std::fclose(file);
  }
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  const bool linked = CreateSymbolicLinkA(path.c_str(), target.c_str(), kUnprivileged) ||
                      CreateSymbolicLinkA(path.c_str(), target.c_str(), 0);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (linked && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    LoadRecordAndFree(setup);
    WT_CHECK_EQ(Contents(target), std::string("not the trace"));
    DeleteFileA(path.c_str());
  } else {
    std::printf("  no symbolic link could be made here: that part is skipped\n");
    DeleteFileA(path.c_str());
  }
  DeleteFileA(target.c_str());
  _putenv("VQHW_TRACE=");
}

}  // namespace wintest
