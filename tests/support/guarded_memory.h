#pragma once
// Memory whose end is the end of what the process may touch: two pages, the
// second one unreadable, so that reading or writing one byte past the end
// of a text or a buffer kills the test at once, with or without a sanitizer.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vqtest {

class GuardedMemory {
 public:
  GuardedMemory() : page_(static_cast<size_t>(::sysconf(_SC_PAGESIZE))) {
    void* pages = ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::runtime_error("mmap");
    base_ = static_cast<char*>(pages);
    if (::mprotect(base_ + page_, page_, PROT_NONE) != 0) throw std::runtime_error("mprotect");
  }
  ~GuardedMemory() { ::munmap(base_, 2 * page_); }
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;

  // The characters of `text` with no zero byte after them: their last one
  // is the last readable byte.
  const char* UnterminatedText(const std::string& text) {
    char* start = End() - text.size();
    std::memcpy(start, text.data(), text.size());
    return start;
  }

  // A buffer of `size` bytes, filled with `fill`, that ends at the guard.
  char* BufferOfSize(size_t size, char fill = 'Z') {
    char* start = End() - size;
    std::memset(start, fill, size);
    return start;
  }

 private:
  char* End() const { return base_ + page_; }

  size_t page_;
  char* base_ = nullptr;
};

}  // namespace vqtest
