// Boost 1.74's Asio uses std::exchange without including <utility>.
#include <utility>

#include "sim/panel/panel_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "sim/panel/request_guard.h"

namespace vqsim::panel {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr size_t kLargestHeader = 16 << 10;
constexpr auto kTick = std::chrono::milliseconds(100);
constexpr auto kStateEvery = std::chrono::milliseconds(200);
constexpr auto kBeatEvery = std::chrono::seconds(15);
constexpr size_t kFramesAtOpen = 200;
constexpr size_t kFramesAWrite = 500;

// Text from a request (a Host header, say) may be no UTF-8.
std::string JsonText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// What every answer carries: the page runs its own scripts alone and in
// no other site's frame, and nothing is cached.
void Harden(http::fields& fields) {
  fields.set(http::field::cache_control, "no-store");
  fields.set("X-Content-Type-Options", "nosniff");
  fields.set("X-Frame-Options", "DENY");
  fields.set("Content-Security-Policy",
             "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; frame-ancestors 'none'");
}

}  // namespace

struct PanelServer::Impl {
  Impl(const HttpAddress& address, PanelApi& panelApi, FrameFeed& frames)
      : api(panelApi),
        feed(frames),
        acceptor(io),
        guard(address.host, 0, "") {
    const tcp::endpoint endpoint(net::ip::make_address(address.host), static_cast<unsigned short>(address.port));
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen();
    host = address.host;
    port = acceptor.local_endpoint().port();
    token = RequestGuard::IsLoopback(host) ? "" : NewToken();
    guard = RequestGuard(host, port, token);
  }

  void Accept();

  net::io_context io;
  PanelApi& api;
  FrameFeed& feed;
  tcp::acceptor acceptor;
  net::steady_timer retry{io};
  RequestGuard guard;
  std::string host;
  int port = 0;
  std::string token;
  std::atomic<int> connections{0};
  std::atomic<int> streams{0};
  std::thread thread;
};

namespace {

// An open /api/events: frames as they come, each reader's state when it
// changed, a comment now and then so that a proxy keeps it open.
class EventStream : public std::enable_shared_from_this<EventStream> {
 public:
  EventStream(beast::tcp_stream stream, PanelServer::Impl& server, uint64_t after)
      : stream_(std::move(stream)), timer_(stream_.get_executor()), server_(server), lastId_(after),
        states_(server.api.Readers()) {
    ++server_.streams;
  }
  ~EventStream() { --server_.streams; }

  void Start() {
    WatchForClose();
    out_ = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
           "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\nretry: 1000\n\n";
    Collect(true);
    Write();
  }

 private:
  void Collect(bool all) {
    const auto now = Clock::now();
    if (all || now - lastState_ >= kStateEvery) {
      lastState_ = now;
      for (size_t i = 0; i < states_.size(); ++i) {
        nlohmann::json state = server_.api.ReaderJson(i);
        state["reader"] = i + 1;
        std::string text = JsonText(state);
        if (text == states_[i]) continue;
        out_ += "event: state\ndata: " + text + "\n\n";
        states_[i] = std::move(text);
      }
    }
    for (const nlohmann::json& frame : server_.feed.After(lastId_, kFramesAWrite)) {
      lastId_ = frame["id"].get<uint64_t>();
      out_ += "id: " + std::to_string(lastId_) + "\nevent: frame\ndata: " + JsonText(frame) + "\n\n";
    }
    if (out_.empty() && now - lastBeat_ >= kBeatEvery) out_ = ": still here\n\n";
    if (!out_.empty()) lastBeat_ = now;
  }

  // The client sends nothing more: its end of the stream, or an error,
  // closes the stream at once rather than at the next write.
  void WatchForClose() {
    stream_.socket().async_read_some(net::buffer(ignored_), [self = shared_from_this()](beast::error_code error, size_t) {
      if (!error) return self->WatchForClose();
      beast::error_code ignored;
      self->timer_.cancel();
      self->stream_.socket().close(ignored);
    });
  }

  void Write() {
    if (out_.empty()) return Wait();
    sending_ = std::move(out_);
    out_.clear();
    stream_.expires_after(PanelServer::kIdle);
    net::async_write(stream_, net::buffer(sending_), [self = shared_from_this()](beast::error_code error, size_t) {
      if (!error) self->Wait();
    });
  }

  void Wait() {
    timer_.expires_after(kTick);
    timer_.async_wait([self = shared_from_this()](beast::error_code error) {
      if (error) return;
      self->Collect(false);
      self->Write();
    });
  }

  beast::tcp_stream stream_;
  net::steady_timer timer_;
  PanelServer::Impl& server_;
  uint64_t lastId_;
  std::vector<std::string> states_;  // as last sent, per reader
  Clock::time_point lastState_{};
  Clock::time_point lastBeat_ = Clock::now();
  std::string out_;
  std::string sending_;
  std::array<char, 256> ignored_{};
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, PanelServer::Impl& server) : stream_(std::move(socket)), server_(server) {
    ++server_.connections;
  }
  ~HttpSession() { --server_.connections; }

  void ReadHeader() {
    parser_.emplace();
    parser_->header_limit(kLargestHeader);
    // The body's limit depends on the target: set once the header is in.
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    stream_.expires_after(PanelServer::kIdle);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code error, size_t) { self->OnHeader(error); });
  }

 private:
  void OnHeader(beast::error_code error) {
    if (error == http::error::header_limit) return Refuse(431, "the request's header is over 16 KiB");
    if (error) return Close();
    const std::string target(parser_->get().target());
    const size_t limit = PanelApi::BodyLimit(target);
    if (const auto length = parser_->content_length(); length && *length > limit) {
      return Refuse(413, "the request's body is over " + std::to_string(limit >> 20) + " MiB");
    }
    parser_->body_limit(limit);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code read, size_t) { self->OnRequest(read); });
  }

  void OnRequest(beast::error_code error) {
    if (error == http::error::body_limit) return Refuse(413, "the request's body is too large");
    if (error) return Close();
    const http::request<http::string_body>& request = parser_->get();
    const std::string target(request.target());
    const Guarded guarded{std::string(request.method_string()), target,
                          std::string(request[http::field::host]), std::string(request[http::field::origin]),
                          std::string(request[http::field::content_type]),
                          std::string(request[http::field::authorization]), std::string(request[http::field::cookie])};
    if (const auto refusal = server_.guard.Check(guarded)) return Refuse(refusal->status, refusal->message);
    if (target.substr(0, target.find('?')) == "/api/events" && request.method() == http::verb::get) {
      return OpenEvents(std::string(request["Last-Event-ID"]));
    }
    const PanelResponse answer =
        server_.api.Answer({guarded.method, target, guarded.contentType, request.body()});
    http::response<http::string_body> response{static_cast<http::status>(answer.status), request.version()};
    response.set(http::field::content_type, answer.contentType);
    for (const auto& [name, value] : answer.headers) response.set(name, value);
    if (server_.guard.CarriesToken(target)) response.set(http::field::set_cookie, server_.guard.TokenCookie());
    Harden(response.base());
    response.keep_alive(request.keep_alive());
    response.body() = answer.body;
    response.prepare_payload();
    if (request.method() == http::verb::head) response.body().clear();
    Send(std::move(response), request.keep_alive());
  }

  void OpenEvents(const std::string& lastEventId) {
    if (server_.streams >= PanelServer::kMostStreams) return Refuse(503, "too many event streams are open");
    uint64_t after = 0;
    const uint64_t last = server_.feed.LastId();
    if (!lastEventId.empty()) {
      after = std::strtoull(lastEventId.c_str(), nullptr, 10);
    } else {
      after = last > kFramesAtOpen ? last - kFramesAtOpen : 0;
    }
    std::make_shared<EventStream>(std::move(stream_), server_, after)->Start();
  }

  void Refuse(int status, const std::string& message) {
    http::response<http::string_body> response{static_cast<http::status>(status), 11};
    response.set(http::field::content_type, "application/json");
    Harden(response.base());
    response.keep_alive(false);
    response.body() = JsonText({{"error", message}});
    response.prepare_payload();
    Send(std::move(response), false);
  }

  void Send(http::response<http::string_body> response, bool keepAlive) {
    auto kept = std::make_shared<http::response<http::string_body>>(std::move(response));
    stream_.expires_after(PanelServer::kIdle);
    http::async_write(stream_, *kept, [self = shared_from_this(), kept, keepAlive](beast::error_code error, size_t) {
      if (error || !keepAlive) return self->Close();
      self->ReadHeader();
    });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  }

  beast::tcp_stream stream_;
  PanelServer::Impl& server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

}  // namespace

void PanelServer::Impl::Accept() {
  acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted) return;
    if (error) {
      // Out of descriptors, say: try again a little later, not at once.
      retry.expires_after(std::chrono::milliseconds(50));
      retry.async_wait([this](beast::error_code waited) {
        if (!waited) Accept();
      });
      return;
    }
    if (connections < kMostConnections) {
      std::make_shared<HttpSession>(std::move(socket), *this)->ReadHeader();
    }  // else closed at once: too many
    Accept();
  });
}

PanelServer::PanelServer(const HttpAddress& address, PanelApi& api, FrameFeed& feed) {
  try {
    impl_ = std::make_unique<Impl>(address, api, feed);
  } catch (const boost::system::system_error& error) {
    throw std::system_error(error.code().value(), std::system_category(),
                            "the panel cannot listen at " + address.host + ":" + std::to_string(address.port));
  }
  impl_->Accept();
  impl_->thread = std::thread([this] {
    // A handler that throws loses its own connection, not the server.
    for (;;) {
      try {
        impl_->io.run();
        return;
      } catch (const std::exception& error) {
        std::fprintf(stderr, "vqhw-sim: panel: %s\n", error.what());
      }
    }
  });
}

PanelServer::~PanelServer() {
  net::post(impl_->io, [this] {
    beast::error_code ignored;
    impl_->acceptor.close(ignored);
    impl_->retry.cancel();
    impl_->io.stop();
  });
  impl_->thread.join();
}

std::string PanelServer::Url() const {
  const bool v6 = impl_->host.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + impl_->host + "]" : impl_->host;
  return "http://" + host + ":" + std::to_string(impl_->port) + "/" +
         (impl_->token.empty() ? "" : "?token=" + impl_->token);
}

int PanelServer::Port() const { return impl_->port; }

}  // namespace vqsim::panel
