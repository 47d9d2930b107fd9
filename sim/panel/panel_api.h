#pragma once
// The panel's requests and their answers (sim/panel/README.md), apart from
// the event stream and from HTTP itself, which panel_server.cpp speaks: a
// request in, an answer out, so that every route is tested without a
// socket. The control requests are vqhw-sim ctl's, run by its handlers.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/panel/frame_feed.h"
#include "sim/reader/reader_model.h"

namespace vqsim::panel {

struct PanelRequest {
  std::string method;
  std::string target;  // path and query
  std::string contentType;
  std::string body;
};

struct PanelResponse {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class PanelApi {
 public:
  static constexpr size_t kLargestBody = 1 << 20;
  static constexpr size_t kLargestRecord = 8 << 20;  // a record to see as a timeline

  struct Reader {
    VirtualReader* reader = nullptr;
    std::string port;    // what a lane puts in VQHW_COM<n>
    std::string timing;  // the profile's name
  };

  // `feed` must outlive the API.
  PanelApi(std::vector<Reader> readers, FrameFeed& feed);

  PanelResponse Answer(const PanelRequest& request) const;

  // READER of the README: the dump with the line and the record.
  nlohmann::json ReaderJson(size_t index) const;
  size_t Readers() const { return readers_.size(); }
  // The largest body a request for `target` may carry.
  static size_t BodyLimit(const std::string& target);

 private:
  PanelResponse ReaderRequest(const PanelRequest& request, const std::string& path) const;
  PanelResponse Control(size_t index, const PanelRequest& request) const;
  PanelResponse RecordRequest(size_t index, const PanelRequest& request) const;

  std::vector<Reader> readers_;
  FrameFeed& feed_;
};

}  // namespace vqsim::panel
