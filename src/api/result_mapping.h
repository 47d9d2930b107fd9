#pragma once
// What an export that drives the reader returns for a status.

#include <cstdint>

#include "api/library_state.h"

namespace vqhw {

constexpr int32_t ToApiResult(ReaderStatus s) {
  switch (s) {
    case status::kNoCard:
      return 1;
    case -7: case -9: case -10: case -11: case -12: case -13: case -14: case -22: case -23:
      return -1;
    default:
      return s;
  }
}

// Stores the status as the last one and returns its mapped result.
inline int32_t Report(ReaderStatus s) {
  Library().lastStatus = s;
  return ToApiResult(s);
}

}  // namespace vqhw
