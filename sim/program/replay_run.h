#pragma once
// --replay: a session record's answers in place of the reader's.

#include <functional>
#include <memory>
#include <string>

#include "sim/lane/session_replay.h"
#include "sim/reader/reader_model.h"

namespace vqsim::program {

// Reads the record and makes the reader answer from it; `onDifference` is
// called when the first command that differs from the record comes.
// Throws Failure (66: unreadable, 65: malformed).
std::shared_ptr<SessionReplay> StartReplay(VirtualReader& reader, const std::string& path,
                                           std::function<void()> onDifference, SessionReplay::Sequence sequence);

// 0 when the session went as recorded; else says on stderr where it did
// not, and returns 79.
int ReplayResult(const SessionReplay& replay, const std::string& path);

}  // namespace vqsim::program
