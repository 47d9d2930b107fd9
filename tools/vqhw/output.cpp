#include "vqhw/output.h"

#include "VqhwLib.h"

namespace vqtool {

namespace {

std::string TextOf(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

int ExitCodeFor(int32_t status) {
  constexpr int32_t kCannotOpen = -12;
  if (status == VQHW_OK) return vqshared::kExitSuccess;
  if (status == VQHW_NO_CARD) return 101;  // the status behind the result 1
  if (status == kCannotOpen) return vqshared::kExitNoDevice;
  if (status > 0 || status < -254) return vqshared::kExitBeyondStatus;
  return -status;
}

Output::Output(bool json, std::FILE* out, std::FILE* err) : json_(json), out_(out), err_(err) {}

void Output::Field(std::string_view key, std::string_view label, const nlohmann::json& value) {
  Field(key, label, value, TextOf(value));
}

void Output::Field(std::string_view key, std::string_view label, const nlohmann::json& value,
                   std::string_view text) {
  std::lock_guard lock(mutex_);
  if (json_) {
    document_[std::string(key)] = value;
  } else {
    PrintLine(std::string(label) + ": " + std::string(text));
  }
}

void Output::Text(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (!json_) PrintLine(line);
}

void Output::Entry(std::string_view list, const nlohmann::json& entry, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (json_) {
    document_[std::string(list)].push_back(entry);
  } else {
    PrintLine(text);
  }
}

void Output::Collect(std::string_view list, const nlohmann::json& entry) {
  std::lock_guard lock(mutex_);
  if (json_) document_[std::string(list)].push_back(entry);
}

int Output::CallFailed(const Failure& failure) {
  std::lock_guard lock(mutex_);
  if (json_) {
    nlohmann::json error = {{"call", failure.call},       {"result", failure.result},
                            {"status", failure.status},   {"message", failure.message},
                            {"meaning", failure.meaning}};
    if (!failure.detail.empty()) error["detail"] = failure.detail;
    if (!failure.hint.empty()) error["hint"] = failure.hint;
    document_["error"] = error;
  } else {
    std::string line = "vqhw: " + failure.call + " failed: " + std::to_string(failure.result) + " " +
                       failure.message + " (";
    if (failure.status != failure.result) line += "status " + std::to_string(failure.status) + ": ";
    line += failure.meaning + ")";
    if (!failure.detail.empty()) line += ": " + failure.detail;
    if (!failure.hint.empty()) line += "; " + failure.hint;
    std::fprintf(err_, "%s\n", line.c_str());
    std::fflush(err_);
  }
  return ExitCodeFor(failure.status);
}

int Output::Error(std::string_view message, int exitCode) {
  std::lock_guard lock(mutex_);
  if (json_) {
    document_["error"] = {{"message", message}};
  } else {
    std::fprintf(err_, "vqhw: %.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(err_);
  }
  return exitCode;
}

int Output::Finish(int exitCode) {
  std::lock_guard lock(mutex_);
  if (json_) {
    document_["exit_code"] = exitCode;
    PrintLine(document_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
  }
  return exitCode;
}

void Output::PrintLine(std::string_view line) {
  std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(out_);
}

}  // namespace vqtool
