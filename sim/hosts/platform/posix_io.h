#pragma once
// What the POSIX files of the line plumbing share: the descriptors behind
// an Event and a Stream. Included by *_posix.cpp files alone.

#include <cerrno>
#include <string>
#include <system_error>

#include "sim/hosts/platform/line_io.h"
#include "sim/hosts/platform/unique_fd.h"

namespace vqsim::io {

// A pipe: set while it holds a byte.
struct Event::Handles {
  UniqueFd read;
  UniqueFd write;
};

struct Stream::Handles {
  UniqueFd fd;
  bool socket = false;  // written with send(), which never raises SIGPIPE
};

[[noreturn]] inline void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void SetNonBlocking(int fd);  // throws std::system_error

inline Stream StreamOf(UniqueFd fd, bool socket = false) {
  auto handles = std::make_unique<Stream::Handles>();
  handles->fd = std::move(fd);
  handles->socket = socket;
  return Stream(std::move(handles));
}

}  // namespace vqsim::io
