// Live control on Windows, which (under Wine too) has no Unix sockets: a
// TCP port on 127.0.0.1 that the system picks, and a file at the path
// that names it together with a fresh random token, readable by its owner
// alone. A request starts with the token; one without it is refused, so
// another user of the machine, who can reach the port but not read the
// file, cannot drive the reader.

#include "sim/hosts/platform/win32_io.h"

#include <bcrypt.h>
#include <sddl.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "sim/control/control_socket.h"
#include "sim/hosts/platform/tcp.h"

namespace vqsim {

namespace {

constexpr char kFirstLine[] = "vqhw-sim control";
constexpr auto kRequestWait = std::chrono::seconds(2);  // a client that sends nothing is dropped
constexpr DWORD kReplyWaitMs = 10'000;  // a reader that never answers (stopped, say) fails the request

std::string FreshToken() {
  std::array<uint8_t, 16> bytes{};
  if (BCryptGenRandom(nullptr, bytes.data(), bytes.size(), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    io::ThrowSystemError(ERROR_GEN_FAILURE, "no random token for the control file");
  }
  std::string token;
  char hex[3];
  for (uint8_t byte : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    token += hex;
  }
  return token;
}

// The access list "the current user alone, nothing inherited".
std::string OwnerOnlyDescriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) io::ThrowSystemError(GetLastError(), "OpenProcessToken");
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  const bool read = size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  char* sid = nullptr;
  if (!read || !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
    io::ThrowSystemError(GetLastError(), "the user's SID");
  }
  const std::string descriptor = std::string("D:P(A;;FA;;;") + sid + ")";
  LocalFree(sid);
  return descriptor;
}

// The control file's two lines: the first line, then "PORT TOKEN"; none
// when `text` is no control file.
std::optional<std::pair<uint16_t, std::string>> ParseControlFile(const std::string& text) {
  std::istringstream in(text);
  std::string first;
  std::getline(in, first);
  if (!first.starts_with(kFirstLine)) return std::nullopt;
  unsigned port = 0;
  std::string token;
  if (!(in >> port >> token) || port == 0 || port > 65535) return std::nullopt;
  return std::pair{static_cast<uint16_t>(port), token};
}

std::optional<std::string> ReadControlFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Whether something listens at the port of 127.0.0.1.
bool Answers(uint16_t port) {
  io::StartWinsock();
  const SOCKET probe = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (probe == INVALID_SOCKET) return false;
  const sockaddr_in address = Loopback(port);
  const bool answered = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  closesocket(probe);
  return answered;
}

void WriteControlFile(const std::string& path, const std::string& text) {
  // A control file left by an earlier run goes; one whose port answers is
  // a running vqhw-sim's, and any other file at the path somebody's: they stay.
  if (const std::optional<std::string> existing = ReadControlFile(path)) {
    const auto address = ParseControlFile(*existing);
    if (!address) io::ThrowSystemError(ERROR_FILE_EXISTS, path + " is there and is no control file");
    if (Answers(address->first)) throw ControlSocketInUse(path + " is in use by another vqhw-sim");
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(OwnerOnlyDescriptor().c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    io::ThrowSystemError(GetLastError(), "the control file's access list");
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  LocalFree(descriptor);
  if (file == INVALID_HANDLE_VALUE) io::ThrowSystemError(error, path);
  DWORD written = 0;
  const bool whole = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                     written == text.size();
  CloseHandle(file);
  if (!whole) {
    DeleteFileA(path.c_str());
    io::ThrowSystemError(ERROR_WRITE_FAULT, path);
  }
}

// Compares all of it whatever differs first: the time tells nothing of the token.
bool SameToken(const std::string& given, const std::string& token) {
  unsigned char difference = given.size() == token.size() ? 0 : 1;
  for (size_t i = 0; i < token.size(); ++i) difference |= token[i] ^ (i < given.size() ? given[i] : 0);
  return difference == 0;
}

// One line, or what came before the client closed its side; none from a
// client that sent nothing in time. A line longer than
// kLongestControlRequest (and its token) comes back longer than that, to be refused.
std::optional<std::string> ReadRequest(io::Stream& connection, const io::Event& stop) {
  constexpr size_t kLongest = kLongestControlRequest + 64;
  std::string request;
  const io::Clock::time_point deadline = io::Clock::now() + kRequestWait;
  std::vector<uint8_t> buffer(65536);
  size_t end = std::string::npos;
  while (end == std::string::npos && request.size() <= kLongest) {
    if (connection.WaitInput(deadline, stop) != io::Wake::kReady) return std::nullopt;
    const std::optional<size_t> count = connection.Read(buffer);
    if (!count) break;
    const size_t searched = request.size();  // a long line is searched once, not again with every piece
    request.append(reinterpret_cast<const char*>(buffer.data()), *count);
    end = request.find('\n', searched);
  }
  if (end == std::string::npos || end > kLongest) return request;
  request.resize(end);
  if (!request.empty() && request.back() == '\r') request.pop_back();
  return request;
}

}  // namespace

struct ControlSocket::Listener {
  io::Listener socket;
  std::string token;
};

ControlSocket::ControlSocket(std::string path, Handler handler) : path_(std::move(path)), handler_(std::move(handler)) {
  try {
    listener_ = std::make_unique<Listener>(Listener{io::Listener::Open("127.0.0.1", 0), FreshToken()});
  } catch (const std::system_error& error) {
    throw std::system_error(error.code(), "control port: " + std::string(error.what()));
  }
  WriteControlFile(path_, std::string(kFirstLine) + "\n" + std::to_string(listener_->socket.Port()) + " " +
                              listener_->token + "\n");
  thread_ = std::thread([this] { Serve(); });
}

ControlSocket::~ControlSocket() {
  stop_.Set();
  thread_.join();
  const std::optional<std::string> text = ReadControlFile(path_);
  const auto address = text ? ParseControlFile(*text) : std::nullopt;
  if (address && address->second == listener_->token) DeleteFileA(path_.c_str());
}

void ControlSocket::Serve() {
  while (listener_->socket.WaitCall(stop_) == io::Wake::kReady) {
    std::optional<io::Listener::Call> call = listener_->socket.Accept();
    if (!call) continue;
    const std::optional<std::string> request = ReadRequest(call->stream, stop_);
    if (!request) continue;
    const size_t blank = request->find(' ');
    const std::string given = request->substr(0, blank);
    const std::string line = blank == std::string::npos ? std::string() : request->substr(blank + 1);
    const std::string reply =
        !SameToken(given, listener_->token) ? "error not allowed: the request lacks the token of the control file\n"
        : line.size() > kLongestControlRequest
            ? "error the request is longer than " + std::to_string(kLongestControlRequest) + " bytes\n"
            : handler_(line);
    io::WriteAll(call->stream, std::span(reinterpret_cast<const uint8_t*>(reply.data()), reply.size()), stop_);
    shutdown(call->stream.Native().socket, SD_SEND);
  }
}

std::string SendControlRequest(const std::string& path, const std::string& request) {
  const std::optional<std::string> text = ReadControlFile(path);
  if (!text) io::ThrowSystemError(ERROR_FILE_NOT_FOUND, path + ": no control file (is vqhw-sim running with --control?)");
  const auto address = ParseControlFile(*text);
  if (!address) io::ThrowSystemError(ERROR_BAD_FORMAT, path + " is no control file of vqhw-sim");
  io::StartWinsock();
  const SOCKET connection = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (connection == INVALID_SOCKET) io::ThrowSystemError(WSAGetLastError(), "control socket");
  const std::unique_ptr<void, void (*)(void*)> closer(reinterpret_cast<void*>(connection),
                                                     [](void* s) { closesocket(reinterpret_cast<SOCKET>(s)); });
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kReplyWaitMs), sizeof kReplyWaitMs);
  const sockaddr_in server = Loopback(address->first);
  if (connect(connection, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
    io::ThrowSystemError(WSAGetLastError(), path + ": nothing answers at 127.0.0.1:" + std::to_string(address->first));
  }
  const std::string line = address->second + " " + request + "\n";
  for (size_t done = 0; done < line.size();) {
    const int sent = send(connection, line.data() + done, static_cast<int>(line.size() - done), 0);
    if (sent <= 0) break;
    done += static_cast<size_t>(sent);
  }
  std::string reply;
  char buffer[512];
  int count = 0;
  while ((count = recv(connection, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(count));
  if (count < 0 && reply.empty()) io::ThrowSystemError(WSAGetLastError(), path + ": no answer");
  return reply;
}

}  // namespace vqsim
