#pragma once
// What an export that drives the reader returns for a status.

#include <array>
#include <cstdint>

#include "api/library_state.h"

namespace vqhw {

// The port and link failures that an export reports as -1, the code of the
// first argument: getvqicerror tells them apart.
inline constexpr std::array<ReaderStatus, 9> kReportedAsFailed{
    status::kNotOpen,     status::kAlreadyClosed,  status::kReceiveTimeout,
    status::kSendTimeout, status::kCannotOpen,     status::kSettingsUnreadable,
    status::kCannotSend,  status::kMalformedReply, status::kReaderNotFound};

constexpr int32_t ToApiResult(ReaderStatus s) {
  if (s == status::kNoCard) return 1;
  for (ReaderStatus failed : kReportedAsFailed) {
    if (s == failed) return status::kArgument1;
  }
  return s;
}

// Stores the status as the last one and returns its mapped result.
inline int32_t Report(ReaderStatus s) {
  Library().lastStatus = s;
  return ToApiResult(s);
}

}  // namespace vqhw
