#include "vqhw/reader_calls.h"

#include "VqhwLib.h"
#include "vqhw/text.h"

namespace vqtool {

std::string LastMessage() {
  char text[64] = {};  // the longest message is 48 bytes and its zero
  getvqicerror(text);
  return GbkToUtf8(text);
}

CallResult Checked(std::string call, int32_t result) {
  return {std::move(call), result, result == 0 ? std::string() : LastMessage()};
}

int Report(Output& out, const CallResult& failed) {
  return out.CallFailed(failed.call, failed.result, failed.message);
}

OpenReader::OpenReader(int port)
    : opened_(Checked("open_reader " + std::to_string(port), open_reader(port, 0))) {}

OpenReader::~OpenReader() {
  if (opened_.Ok()) close_reader();
}

}  // namespace vqtool
