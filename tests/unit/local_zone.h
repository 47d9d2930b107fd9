#pragma once
// Sets the process's time zone for the life of one object and restores the
// one before afterwards.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace vqhw {

class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* previous = std::getenv("TZ")) saved_ = previous;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~LocalZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace vqhw
