#pragma once
// How long an attempt waits for its answer, counted from its send. A test
// build over a port in memory compiles the transaction alone with
// VQHW_FRAME_WAIT_MS to shorten it (so a silent answer costs milliseconds);
// the library itself never sets it.

#include <chrono>

namespace vqhw {

#ifdef VQHW_FRAME_WAIT_MS
inline constexpr std::chrono::milliseconds kFrameWait{VQHW_FRAME_WAIT_MS};
#else
inline constexpr std::chrono::milliseconds kFrameWait{800};
#endif

}  // namespace vqhw
