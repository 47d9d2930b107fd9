#pragma once
// The exit codes of both programs, vqhw and vqhw-sim, after the sysexits
// conventions; the man pages and `vqhw --help` print this table. A failed
// reader status -N exits with N: statuses run from -1 to -29, from -100 to
// -355, and -1000, so none of them meets the codes from 64 to 79 kept here.

#include <array>
#include <string>

namespace vqshared {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 64;        // the command line is refused
inline constexpr int kExitBadFile = 65;      // a malformed field, state or dump file
inline constexpr int kExitNoInput = 66;      // a file that cannot be read
inline constexpr int kExitNoDevice = 69;     // a device or TCP port that cannot be opened, a device gone, a control socket in use
inline constexpr int kExitOsError = 71;      // the system refused something else (no pseudo-terminal)
inline constexpr int kExitCannotWrite = 73;  // a dump, state or record file that cannot be written
inline constexpr int kExitReplayDiffers = 79;  // vqhw-sim --replay: the session left its record
inline constexpr int kExitBeyondStatus = 255;  // the time-out (-1000) or a status beyond -254

// The status row stands for every code from 1 to 254 that is no other row's.
inline constexpr int kExitStatusRow = -1;

struct ExitCodeRow {
  int code;
  const char* meaning;
};

inline constexpr std::array<ExitCodeRow, 10> kExitCodeTable{{
    {kExitSuccess, "success"},
    {kExitStatusRow, "the failed reader status -N, explained by `vqhw status -N` (101: no card in the field)"},
    {kExitUsage, "a refused command line, or a request the running vqhw-sim refused (vqhw-sim ctl)"},
    {kExitBadFile, "a malformed field, state or dump file"},
    {kExitNoInput, "a file that cannot be read"},
    {kExitNoDevice, "a serial device or TCP port that cannot be opened, a device that went away, or a control socket "
                    "in use by another vqhw-sim or out of reach (vqhw-sim ctl)"},
    {kExitOsError, "the system refused something else, such as a pseudo-terminal"},
    {kExitCannotWrite, "a dump, state or record file that cannot be written"},
    {kExitReplayDiffers, "vqhw-sim --replay: a command differs from the record, or a recorded one never came"},
    {kExitBeyondStatus, "the time-out (-1000) or a status beyond -254"},
}};

// The table as lines for a help text.
inline std::string ExitCodeText() {
  std::string text = "Exit codes:";
  for (const ExitCodeRow& row : kExitCodeTable) {
    text += "\n  " + (row.code == kExitStatusRow ? std::string("N") : std::to_string(row.code)) + "\t" + row.meaning;
  }
  return text;
}

}  // namespace vqshared
