#pragma once
// The library's diagnostic log: one record per call, appended to a file
// whose name the caller gives. Internal to the library; no export calls it.

#include <cstddef>
#include <cstdint>

namespace vqhw {

// Appends one record: the message expanded from messageFormat and its
// arguments as printf expands them, then, when timeFormat is not null, the
// current local time expanded with it (left out when it does not fit within
// TimeStampLimit), then CR LF. The file is created when absent, and opened
// and closed for each record. Returns 0 when the file cannot be opened,
// else the result of closing it (0 on success).
int32_t WriteLog(const char* fileName, const char* timeFormat, const char* messageFormat, ...)
    __attribute__((format(printf, 3, 4)));

// The most a time stamp may take, zero byte included: the length of the
// time format in characters (a multibyte character of the current locale
// counting once) plus 10.
size_t TimeStampLimit(const char* timeFormat);

// Writes the current local time expanded with timeFormat, as strftime
// expands it, into stamp, which holds TimeStampLimit(timeFormat) bytes.
// Returns the length of the stamp; 0 when the expansion does not fit or is
// empty; -1 when the clock cannot be read.
int32_t FormatTimeStamp(char* stamp, const char* timeFormat);

}  // namespace vqhw
