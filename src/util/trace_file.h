#pragma once
// Opening the file that VQHW_TRACE names. A lane program may run under a
// privileged account: whoever can write to the folder of the trace must not
// make it append to another file, or read what it records.

#include <cstdio>

namespace vqhw::trace {

// Opens `path` for appending, not through a symbolic link (on Windows, any
// reparse point) at its last component; a file it creates is readable and
// writable by its owner only; child processes do not inherit it. Null when
// it cannot be opened so: the trace is then off.
std::FILE* OpenTraceFile(const char* path);

}  // namespace vqhw::trace
