#pragma once
// A whole file read into memory, or why it cannot be, and a whole file
// written: the programs' field, state and dump files. Header-only, for the programs that read them.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

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
