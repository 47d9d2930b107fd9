#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/trace_file.h"

namespace vqhw::trace {

std::FILE* OpenTraceFile(const char* path) {
  // O_NONBLOCK: a FIFO at the path that nobody reads must not hold the
  // record, and the call behind it, for ever; it is refused (ENXIO) instead.
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                        S_IRUSR | S_IWUSR);
  if (fd < 0) return nullptr;
  // Records wait for a slow reader as they always did.
  std::FILE* file = ::fcntl(fd, F_SETFL, O_APPEND) == 0 ? ::fdopen(fd, "a") : nullptr;
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace vqhw::trace
