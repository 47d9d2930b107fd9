#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <vector>

#include "util/trace_file.h"

namespace vqhw::trace {

namespace {

// A security descriptor whose only entry gives the current user full
// access, inheriting nothing from the folder: a file created with it is the
// user's alone, as a file of mode 0600 is on POSIX.
class OwnerOnly {
 public:
  // False when the user's SID cannot be read: the file is then not made.
  bool Build() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const bool read = size != 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    CloseHandle(token);
    if (!read) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    acl_.resize(aclSize);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    return InitializeAcl(acl, aclSize, ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
           InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  SECURITY_DESCRIPTOR* Descriptor() { return &descriptor_; }

 private:
  std::vector<unsigned char> user_;  // TOKEN_USER, with the SID behind it
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
};

}  // namespace

std::FILE* OpenTraceFile(const char* path) {
  OwnerOnly owner;
  if (!owner.Build()) return nullptr;
  // Not inherited by child processes; an existing file keeps its own rights.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, owner.Descriptor(), FALSE};
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself instead of its target,
  // and the link is then refused: its target is never opened or created.
  // FILE_READ_ATTRIBUTES: for the look at what was opened.
  HANDLE handle = CreateFileA(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(handle);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_TEXT);
  if (fd == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "a");
  if (file == nullptr) _close(fd);  // closes the handle too
  return file;
}

}  // namespace vqhw::trace
