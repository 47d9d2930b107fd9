#pragma once
// What a subcommand tells its user: lines of text, or with --json one JSON
// document on stdout when the command ends. A failure is one line with the
// call, its result and its message; the exit code follows the result.
// Every method may be called from any thread (frames arrive on the line's).

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace vqtool {

// Exit codes: 0 success; 1..254 the failed status as a positive number
// (`vqhw status -N` explains exit code N; no card in the field is 101);
// 255 for a status beyond that (the time-out, -1000); 64 for a command
// line refused before anything reached the reader.
inline constexpr int kUsageExit = 64;
int ExitCodeFor(int32_t result);

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
  // document with --json). Returns the exit code.
  int CallFailed(std::string_view call, int32_t result, std::string_view message);
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
