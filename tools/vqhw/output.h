#pragma once
// What a subcommand tells its user: lines of text, or with --json one JSON
// document on stdout when the command ends. A failure is one line with the
// call, its result, its message, the meaning and what to try; the exit code
// follows the status.
// Every method may be called from any thread (frames arrive on the line's).

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "shared/exit_codes.h"

namespace vqtool {

// The exit code of a result or status, after the table in shared/exit_codes.h:
// 0 success; N for the status -N (the result 1 is -101); 69 for a port that
// cannot be opened; 255 for a status beyond -254.
inline constexpr int kUsageExit = vqshared::kExitUsage;
int ExitCodeFor(int32_t status);

// A failed library call, as the error line shows it.
struct Failure {
  std::string call;     // "readblock 4"
  int32_t result = 0;   // what the export returned
  int32_t status = 0;   // the status behind it (the result -1 stands for several)
  std::string message;  // the library's message, UTF-8
  std::string meaning;  // in English
  std::string detail;   // what else is known, e.g. the device and the OS error; may be empty
  std::string hint;     // what to try; may be empty
};

class Output {
 public:
  explicit Output(bool json, std::FILE* out = stdout, std::FILE* err = stderr);
  bool Json() const { return json_; }

  // One named value: the text line "label: text", or document[key] = value.
  void Field(std::string_view key, std::string_view label, const nlohmann::json& value);
  void Field(std::string_view key, std::string_view label, const nlohmann::json& value,
             std::string_view text);
  // A line for people only (headings, table rows whose data is in entries).
  void Text(std::string_view line);
  // One entry of the list `list`: appended to that JSON array, or shown as `text`.
  void Entry(std::string_view list, const nlohmann::json& entry, std::string_view text);
  // An entry for the JSON document only; the text shows it otherwise.
  void Collect(std::string_view list, const nlohmann::json& entry);

  // A library call failed: the one error line (stderr; "error" in the
  // document with --json). Returns the exit code of its status.
  int CallFailed(const Failure& failure);
  // Something other than a library call went wrong (a line that cannot be
  // set up, a bad field file): the one error line; returns exitCode.
  int Error(std::string_view message, int exitCode);
  // Refuses the command line; returns kUsageExit.
  int UsageError(std::string_view message) { return Error(message, kUsageExit); }
  // Prints the document (with --json) and passes the exit code on.
  int Finish(int exitCode);

 private:
  void PrintLine(std::string_view line);

  bool json_;
  std::FILE* out_;
  std::FILE* err_;
  std::mutex mutex_;
  nlohmann::json document_ = nlohmann::json::object();
};

}  // namespace vqtool
