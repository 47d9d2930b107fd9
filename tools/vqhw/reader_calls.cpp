#include "vqhw/reader_calls.h"

#include "VqhwLib.h"
#include "vqhw/device_probe.h"
#include "vqhw/failure_hints.h"
#include "vqhw/reader_session.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr int32_t kCannotOpen = -12;

// The status behind a result: the result -1 stands for several statuses,
// which the last status's message tells apart; the result 1 is -101.
int32_t StatusBehind(int32_t result, const std::string& message) {
  if (result == VQHW_NO_CARD) return -101;
  if (result != VQHW_FAILED) return result;
  for (int32_t status : {-7, -9, -10, -11, -12, -13, -14, -22, -23}) {
    if (ExplainStatus(status).message == message) return status;
  }
  return result;
}

}  // namespace

std::string LastMessage() {
  char text[64] = {};  // the longest message is 48 bytes and its zero
  getvqicerror(text);
  return GbkToUtf8(text);
}

CallResult Checked(std::string call, int32_t result) {
  if (result == 0) return {std::move(call), 0, 0, {}, {}};
  std::string message = LastMessage();
  const int32_t status = StatusBehind(result, message);
  return {std::move(call), result, status, std::move(message), {}};
}

int Report(Output& out, const CallResult& failed) {
  return out.CallFailed({.call = failed.call,
                         .result = failed.result,
                         .status = failed.status,
                         .message = failed.message,
                         .meaning = ExplainStatus(failed.status).meaning,
                         .detail = failed.detail,
                         .hint = HintFor(failed.status)});
}

OpenReader::OpenReader(int port)
    : opened_(Checked("open_reader " + std::to_string(port), open_reader(port, 0))) {
  if (opened_.status != kCannotOpen) return;
  const std::string device = ReaderSession::DefaultDevice(port);
  // A network port is not looked at here: the library's trace has the reason.
  const std::string why = device.find("://") != std::string::npos
                              ? "the device server cannot be reached, or it refused the line settings "
                                "(VQHW_TRACE=FILE shows the system's reason)"
                              : WhyDeviceCannotOpen(device);
  opened_.detail = device + (why.empty() ? "" : ": " + why);
}

OpenReader::~OpenReader() {
  if (opened_.Ok()) close_reader();
}

}  // namespace vqtool
