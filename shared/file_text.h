#pragma once
// A whole file read into memory, or why it cannot be, and a whole file
// written: the programs' field, state and dump files. Header-only, for the programs that read them.
// A file named by someone else (a control request, a ctl command line) is
// read with ReadRegularFile: only a regular file of at most `most` bytes,
// since a FIFO would block the reader for ever and a device such as
// /dev/zero would never end.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vqshared {

inline std::optional<std::string> ReadWholeFile(const std::string& path, std::string& why) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    why = "is a directory";
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  std::stringstream text;
  text << file.rdbuf();  // an empty file sets the failbit of `text`, and is still read whole
  if (file.bad()) {
    why = "cannot be read to its end";
    return std::nullopt;
  }
  return text.str();
}

inline std::optional<std::string> ReadRegularFile(const std::string& path, size_t most, std::string& why) {
  why.clear();
  const auto tooLong = [&] { why = "is longer than " + std::to_string(most) + " bytes"; };
#ifndef _WIN32
  // Opened without waiting (a FIFO with no writer would wait), then asked
  // what it is: the answer is about the file opened, not one put there since.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    why = S_ISDIR(info.st_mode) ? "is a directory" : "is no regular file";
  } else if (static_cast<unsigned long long>(info.st_size) > most) {
    tooLong();
  } else {
    char buffer[65536];
    ssize_t n = 0;
    // At most one byte past the bound: a file that grows meanwhile is refused, not read on.
    while (text.size() <= most && (n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    if (n < 0) why = std::strerror(errno);
    if (n >= 0 && text.size() > most) tooLong();
  }
  ::close(fd);
  if (!why.empty()) return std::nullopt;
  return text;
#else
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    why = error.message();
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(status)) {
    why = std::filesystem::is_directory(status) ? "is a directory" : "is no regular file";
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  std::string text(most + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    why = "cannot be read to its end";
    return std::nullopt;
  }
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > most) {
    tooLong();
    return std::nullopt;
  }
  return text;
#endif
}

// Writes through a temporary file beside it, renamed over the file at the
// end, so that a failed write never leaves half a file; false when it fails.
inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".saving";
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  const bool written = file && (file << bytes) && file.flush();
  file.close();
  std::error_code error;
  if (written) std::filesystem::rename(temporary, path, error);
  if (written && !error) return true;
  std::filesystem::remove(temporary, error);
  return false;
}

}  // namespace vqshared
