#include "sim/panel/panel_api.h"

#include <charconv>
#include <exception>

#include "shared/json_text.h"
#include "sim/control/control_commands.h"
#include "sim/control/field_dump.h"
#include "sim/lane/session_replay.h"
#include "sim/panel/embedded_files.h"
#include "sim/panel/timeline.h"

namespace vqsim::panel {

namespace {

using nlohmann::json;

// A request's own words come back in messages: bytes that are no UTF-8
// are replaced, not a reason to fail.
PanelResponse Json(json value, int status = 200) {
  return {status, "application/json", value.dump(-1, ' ', false, json::error_handler_t::replace), {}};
}
PanelResponse Error(int status, const std::string& message) { return Json({{"error", message}}, status); }

bool IsJson(const PanelRequest& request) {
  return request.contentType == "application/json" || request.contentType.starts_with("application/json;");
}

std::string PathOf(const std::string& target) { return target.substr(0, target.find('?')); }

const char* TypeOf(std::string_view name) {
  if (name.ends_with(".html")) return "text/html; charset=utf-8";
  if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  return "application/octet-stream";
}

// The page's files, from "/" ("page/index.html") and "/NAME" ("page/NAME").
const EmbeddedFile* PageFile(const std::string& path) {
  const std::string name = path == "/" ? "page/index.html" : "page" + path;
  for (const EmbeddedFile& file : EmbeddedFiles()) {
    if (file.name == name && name.starts_with("page/")) return &file;
  }
  return nullptr;
}

// The example cards (each card of the example field files) and scenarios.
json Examples() {
  json cards = json::array();
  json scenarios = json::array();
  for (const EmbeddedFile& file : EmbeddedFiles()) {
    if (!file.name.starts_with("examples/")) continue;
    const std::string name(file.name.substr(std::string_view("examples/").size()));
    const json content = json::parse(file.content);
    if (name.starts_with("scenarios/")) {
      scenarios.push_back({{"name", name.substr(std::string_view("scenarios/").size())}, {"scenario", content}});
      continue;
    }
    for (const json& card : content.value("cards", json::array())) {
      cards.push_back({{"name", name + ": " + card.value("kind", "") + " " + card.value("serial", "")}, {"card", card}});
    }
  }
  return {{"cards", std::move(cards)}, {"scenarios", std::move(scenarios)}};
}

// "/api/readers/N..." gives N - 1 and the rest of the path; none when N
// is no reader's number.
std::optional<std::pair<size_t, std::string>> ReaderPath(const std::string& path, size_t readers) {
  const std::string prefix = "/api/readers/";
  if (!path.starts_with(prefix)) return std::nullopt;
  const char* first = path.data() + prefix.size();
  const char* last = path.data() + path.size();
  size_t number = 0;
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc{} || end == first || number == 0 || number > readers) return std::nullopt;
  return std::pair(number - 1, std::string(end, last));
}

}  // namespace

PanelApi::PanelApi(std::vector<Reader> readers, FrameFeed& feed) : readers_(std::move(readers)), feed_(feed) {}

size_t PanelApi::BodyLimit(const std::string& target) {
  return PathOf(target) == "/api/timeline" ? kLargestRecord : kLargestBody;
}

json PanelApi::ReaderJson(size_t index) const {
  const Reader& reader = readers_.at(index);
  json value = FieldDump(*reader.reader);
  uint32_t baud = 0;
  reader.reader->WithState([&baud](ReaderState& state) { baud = state.hostLineBaud; });
  const FrameFeed::RecordState record = feed_.Recording(index);
  value["number"] = index + 1;
  value["port"] = reader.port;
  value["timing"] = reader.timing;
  value["baud"] = baud;
  value["replaying"] = reader.reader->Replaying();
  value["record"] = {{"recording", record.recording}, {"frames", record.frames}, {"full", record.full}};
  return value;
}

PanelResponse PanelApi::Answer(const PanelRequest& request) const {
  const std::string path = PathOf(request.target);
  const bool get = request.method == "GET" || request.method == "HEAD";
  try {
    if (get && !path.starts_with("/api/")) {
      const EmbeddedFile* file = PageFile(path);
      if (file == nullptr) return Error(404, "no page " + path);
      return {200, TypeOf(file->name), std::string(file->content), {}};
    }
    if (path == "/api/readers" && get) {
      json readers = json::array();
      for (size_t i = 0; i < readers_.size(); ++i) readers.push_back(ReaderJson(i));
      return Json({{"readers", std::move(readers)}});
    }
    if (path == "/api/examples" && get) return Json(Examples());
    if (path == "/api/timeline" && request.method == "POST") {
      try {
        return Json(Timeline(request.body));
      } catch (const SessionRecordError& error) {
        return Error(400, std::string("not a session record: ") + error.what());
      }
    }
    if (path.starts_with("/api/readers/")) return ReaderRequest(request, path);
    return Error(404, "no request " + request.method + " " + path + " (sim/panel/README.md lists them)");
  } catch (const std::exception& error) {
    return Error(500, error.what());
  }
}

PanelResponse PanelApi::ReaderRequest(const PanelRequest& request, const std::string& path) const {
  const auto reader = ReaderPath(path, readers_.size());
  if (!reader) {
    return Error(404, "no reader at " + path + ": the readers are 1 to " + std::to_string(readers_.size()));
  }
  const auto& [index, rest] = *reader;
  const bool get = request.method == "GET" || request.method == "HEAD";
  if (rest.empty() && get) return Json(ReaderJson(index));
  if (rest == "/control" && request.method == "POST") return Control(index, request);
  if (rest == "/record") return RecordRequest(index, request);
  return Error(404, "no request " + request.method + " " + path);
}

// {"request": "remove 3A5F0C21"}: a control request of vqhw-sim ctl.
PanelResponse PanelApi::Control(size_t index, const PanelRequest& request) const {
  if (!IsJson(request)) return Error(415, "a control request is JSON: {\"request\": \"...\"}");
  std::string line;
  try {
    const json body = vqshared::ParseJson(request.body);
    if (!body.is_object() || !body.contains("request") || !body["request"].is_string()) {
      return Error(400, "a control request is {\"request\": \"...\"}");
    }
    line = body["request"].get<std::string>();
  } catch (const vqshared::JsonTextError& error) {
    return Error(400, std::string("malformed JSON: ") + error.what());
  }
  // One request a line, as the control socket takes them.
  if (line.find_first_of("\r\n") != std::string::npos) return Error(400, "a control request is one line");
  std::string reply = RunControlRequest(*readers_[index].reader, line);
  while (!reply.empty() && reply.back() == '\n') reply.pop_back();
  if (reply.starts_with("error ")) return Error(400, reply.substr(6));
  if (reply.starts_with("ok")) reply.erase(0, reply.size() > 2 ? 3 : 2);
  return Json({{"reply", reply}});
}

PanelResponse PanelApi::RecordRequest(size_t index, const PanelRequest& request) const {
  if (request.method == "GET" || request.method == "HEAD") {
    PanelResponse record{200, "text/plain; charset=utf-8", feed_.Record(index), {}};
    record.headers.emplace_back("Content-Disposition",
                                "attachment; filename=\"reader-" + std::to_string(index + 1) + ".record\"");
    return record;
  }
  if (request.method != "POST") return Error(405, "GET the record, or POST {\"recording\": true|false}");
  if (!IsJson(request)) return Error(415, "{\"recording\": true|false} is JSON");
  try {
    const json body = vqshared::ParseJson(request.body);
    if (!body.is_object() || !body.contains("recording") || !body["recording"].is_boolean()) {
      return Error(400, "POST {\"recording\": true|false}");
    }
    feed_.SetRecording(index, body["recording"].get<bool>());
  } catch (const vqshared::JsonTextError& error) {
    return Error(400, std::string("malformed JSON: ") + error.what());
  }
  return Json(ReaderJson(index)["record"]);
}

}  // namespace vqsim::panel
