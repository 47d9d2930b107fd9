// info, open, status and demo: is the reader there, what is it, what does a code mean.

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "VqhwLib.h"
#include "shared/command_line.h"
#include "vqhw/commands.h"
#include "vqhw/demo/demo_command.h"
#include "vqhw/failure_hints.h"
#include "vqhw/reader_calls.h"
#include "vqhw/status_texts.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

// "[key]:value  [key]:value" as pairs.
std::vector<std::pair<std::string, std::string>> InfoFields(const std::string& info) {
  std::vector<std::pair<std::string, std::string>> fields;
  size_t at = info.find('[');
  while (at != std::string::npos) {
    const size_t close = info.find("]:", at);
    if (close == std::string::npos) break;
    const size_t next = info.find('[', close);
    std::string value = info.substr(close + 2, next == std::string::npos ? next : next - close - 2);
    value.erase(value.find_last_not_of(' ') + 1);
    fields.emplace_back(info.substr(at + 1, close - at - 1), value);
    at = next;
  }
  return fields;
}

int RunInfo(Context& context) {
  OpenReader reader(context.port);
  if (!reader.Opened().Ok()) return Report(context.out, reader.Opened());
  char text[128] = {};
  getreaderinfo(text);
  const std::string info = GbkToUtf8(text);
  context.out.Field("info", "reader", info);
  nlohmann::json fields = nlohmann::json::object();
  for (const auto& [key, value] : InfoFields(info)) fields[key] = value;
  if (context.out.Json()) context.out.Field("fields", "fields", fields);
  context.out.Field("port", "port", context.port, "COM" + std::to_string(context.port));
  if (fields.contains("通讯速率")) {
    const long speed = std::strtol(fields["通讯速率"].get<std::string>().c_str(), nullptr, 10);
    context.out.Field("speed", "speed", speed);
  }
  return 0;
}

int RunOpen(Context& context) {
  CallResult opened;
  {
    OpenReader reader(context.port);
    opened = reader.Opened();
  }
  const StatusExplanation why = ExplainStatus(opened.status);
  context.out.Field("port", "port", context.port, "COM" + std::to_string(context.port));
  context.out.Field("result", "open_reader", opened.result);
  context.out.Field("status", "status", why.status);
  context.out.Field("message", "message", opened.message.empty() ? why.message : opened.message);
  context.out.Field("meaning", "meaning", why.meaning);
  if (!opened.detail.empty()) context.out.Field("device", "device", opened.detail);
  if (const std::string hint = HintFor(opened.status); !hint.empty()) context.out.Field("hint", "hint", hint);
  if (opened.Ok()) context.out.Field("closed", "closed again", true);
  return ExitCodeFor(opened.status);
}

struct StatusQuery {
  std::optional<int> code;
  std::string statusWord;
};

int RunStatus(Context& context, const StatusQuery& query) {
  if (query.code.has_value() == !query.statusWord.empty()) {
    return context.out.UsageError("status needs a code, e.g. -101, or a status word with --sw, e.g. 6A82");
  }
  if (!query.statusWord.empty()) {
    const auto bytes = vqshared::DecodeHex(query.statusWord);
    if (!bytes || bytes->size() != 2) return context.out.UsageError("--sw takes two bytes of hex, e.g. 6A82");
    const uint16_t sw = static_cast<uint16_t>((*bytes)[0] << 8 | (*bytes)[1]);
    context.out.Field("sw", "status word", CompactHex(*bytes));
    context.out.Field("text", "text", StatusWordText(sw));
    return 0;
  }
  const StatusExplanation why = ExplainStatus(*query.code);
  context.out.Field("status", "status", why.status);
  context.out.Field("message", "message", why.message);
  context.out.Field("meaning", "meaning", why.meaning);
  return 0;
}

}  // namespace

void AddConnectionCommands(CLI::App& parent, CommandRegistry& registry) {
  registry.Add(parent, "info", "open the reader and show its information line, port and speed", RunInfo);
  registry.Add(parent, "open", "probe the reader: open it, explain the result, close it", RunOpen);
  AddDemoCommand(parent, registry);
  auto query = std::make_shared<StatusQuery>();
  CLI::App* status = registry.Add(
      parent, "status", "the message and meaning of a status code (e.g. -101)",
      [query](Context& context) { return RunStatus(context, *query); }, false, Reach::kNoReader);
  status->add_option("code", query->code, "a result or status code, e.g. -101 or an exit code as -N")
      ->check(vqshared::WholeNumber(-1000, 1, "a status code"));
  status->add_option("--sw", query->statusWord, "explain a card status word instead, e.g. 6A82");
}

}  // namespace vqtool
