// The network port against a hostile device server. The input's first
// byte picks socket:// or rfc2217:// and how many commands the lane sends;
// the rest is the server's script. The real code above the socket runs:
// the telnet layer, the COM-PORT session, the line classes, the receive
// worker's frame assembly and whole transactions; only the sockets are in
// memory (memory_socket.h), so the script decides where the server's bytes
// are split into reads.
//
// Each time the client sends a command frame, its settings or its first
// offer, the server takes a mode byte from the script: telnet noise before
// and after (option storms, stray commands, subnegotiations ended, never
// ended or broken off, 0xFF anywhere, whole frames of its own), whether it
// answers, with the command's data or with scripted status, data, sequence
// number and check byte, where its bytes are split, and whether it closes
// the connection part way. Connects may be refused. When the script is
// used up the server answers as a device server should.
//
// What must hold:
//   - a transaction that succeeds hands back, byte for byte, a frame that
//     one connection carried as the reader's bytes (as telnet defines them,
//     read here apart from the library's own parser), with the command's
//     sequence number, and only after the server had the command;
//   - every frame the client writes is a whole, right command frame, and it
//     never sends more telnet than three bytes for each byte it is sent (no
//     answering loops);
//   - a failure is one of the transaction's own statuses;
//   - after the server restarts and behaves, the lane's next commands work
//     without the lane opening the port again (within two seconds).

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "memory_socket.h"
#include "protocol/frame.h"
#include "protocol/reader_link.h"

namespace {

using vqhw::memory_socket::Connection;

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;
constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPort = 44;
constexpr uint8_t kServerOffset = 100;

// Telnet as a receiver reads it: data (IAC IAC is one 0xFF), IAC verb
// option, IAC SB option ... IAC SE. The library's two choices for broken
// input are read the same way: a subnegotiation longer than 255 bytes is
// given up at its 256th byte, which is dropped, and what follows is data;
// a command inside a subnegotiation ends it unfinished and counts as such.
class TelnetReading {
 public:
  struct Option {
    uint8_t verb, option;
  };
  struct Subnegotiation {
    uint8_t option;
    std::vector<uint8_t> payload;
  };
  std::vector<uint8_t> data;
  std::vector<Option> options;
  std::vector<Subnegotiation> subnegotiations;

  void Feed(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) Feed(b);
  }

 private:
  static constexpr size_t kLongestSubnegotiation = 255;
  enum class At { kData, kCommand, kOption, kSubOption, kSub, kSubCommand };

  void Feed(uint8_t b) {
    switch (at_) {
      case At::kData:
        if (b == kIac) at_ = At::kCommand; else data.push_back(b);
        break;
      case At::kCommand:
        Command(b);
        break;
      case At::kOption:
        options.push_back({verb_, b});
        at_ = At::kData;
        break;
      case At::kSubOption:
        sub_ = {b, {}};
        at_ = At::kSub;
        break;
      case At::kSub:
        if (b == kIac) at_ = At::kSubCommand; else Keep(b);
        break;
      case At::kSubCommand:
        if (b == kIac) {
          at_ = At::kSub;
          Keep(b);
        } else if (b == kSe) {
          subnegotiations.push_back(sub_);
          at_ = At::kData;
        } else {
          Command(b);
        }
        break;
    }
  }
  void Command(uint8_t b) {
    at_ = At::kData;
    if (b == kIac) {
      data.push_back(b);
    } else if (b >= kWill) {
      verb_ = b;
      at_ = At::kOption;
    } else if (b == kSb) {
      at_ = At::kSubOption;
    }
  }
  void Keep(uint8_t b) {
    if (sub_.payload.size() < kLongestSubnegotiation) {
      sub_.payload.push_back(b);
    } else {
      at_ = At::kData;
    }
  }

  At at_ = At::kData;
  uint8_t verb_ = 0;
  Subnegotiation sub_;
};

std::vector<uint8_t> Escaped(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  for (uint8_t b : data) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
  return out;
}

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> more) {
  out.insert(out.end(), more.begin(), more.end());
}

std::vector<uint8_t> Frame(uint8_t sequence, uint8_t status, std::span<const uint8_t> data) {
  std::vector<uint8_t> frame{0xFF, sequence, status, static_cast<uint8_t>(data.size())};
  Append(frame, data);
  uint8_t check = 0;
  for (uint8_t b : frame) check ^= b;
  frame.push_back(check);
  return frame;
}

bool Contains(std::span<const uint8_t> haystack, std::span<const uint8_t> needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

class HostileServer final : public vqhw::memory_socket::Server {
 public:
  void Begin(bool telnet, std::span<const uint8_t> script) {
    std::lock_guard lock(mutex_);
    telnet_ = telnet;
    script_ = script;
    next_ = 0;
    lines_.clear();
    bytesSent_ = telnetFromClient_ = framesFromClient_ = 0;
  }

  // The device server restarts and behaves from now on.
  void Restart() {
    std::lock_guard lock(mutex_);
    script_ = {};
    for (auto& line : lines_) CloseLine(*line);
  }

  void Behave() {
    std::lock_guard lock(mutex_);
    script_ = {};
  }

  bool Accept(const std::shared_ptr<Connection>& connection) override {
    std::lock_guard lock(mutex_);
    if (Scripted() && Take() % 8 == 0) return false;
    lines_.push_back(std::make_unique<Line>());
    lines_.back()->connection = connection;
    return true;
  }

  void Received(Connection& connection, std::span<const uint8_t> bytes) override {
    std::lock_guard lock(mutex_);
    Line* line = LineOf(connection);
    FUZZ_CHECK(line != nullptr);
    if (line->closed) return;
    const size_t dataBefore = line->reading.data.size();
    if (telnet_) {
      line->reading.Feed(bytes);
    } else {
      Append(line->reading.data, bytes);
    }
    telnetFromClient_ += bytes.size() - (line->reading.data.size() - dataBefore);

    std::vector<uint8_t> answers;
    bool asks = line->first;
    line->first = false;
    AnswerOptions(*line, answers);
    for (size_t i = line->subnegotiationsSeen; i < line->reading.subnegotiations.size(); ++i) {
      asks |= AnswerSubnegotiation(line->reading.subnegotiations[i], answers);
    }
    line->subnegotiationsSeen = line->reading.subnegotiations.size();
    std::vector<std::vector<uint8_t>> commands = TakeCommandFrames(*line);
    asks |= !commands.empty();

    if (!asks || !Scripted()) {
      for (const auto& command : commands) Append(answers, Reader(Echo(command)));
      Deliver(*line, answers, false);
      return;
    }
    const uint8_t mode = Take();
    std::vector<uint8_t> out;
    for (int i = 0; i < (mode & 3); ++i) Append(out, Noise());
    if (!(mode & 4)) {
      Append(out, answers);
      for (const auto& command : commands) Append(out, Reader(mode & 8 ? ScriptedAnswer(command) : Echo(command)));
    }
    if (mode & 16) Append(out, Noise());
    if (mode & 64) out.resize(Take() % (out.size() + 1));
    Deliver(*line, out, mode & 32);
    if (mode & 64) CloseLine(*line);
  }

  // Whether one connection carried `frame` whole as the reader's bytes.
  bool Carried(std::span<const uint8_t> frame) {
    std::lock_guard lock(mutex_);
    for (const auto& line : lines_) {
      std::vector<uint8_t> data;
      if (telnet_) {
        TelnetReading reading;
        reading.Feed(line->sent);
        data = std::move(reading.data);
      } else {
        data = line->sent;
      }
      if (Contains(data, frame)) return true;
    }
    return false;
  }

  // Whether the server was sent `frame` as a command.
  bool Got(std::span<const uint8_t> frame) {
    std::lock_guard lock(mutex_);
    for (const auto& line : lines_) {
      for (const auto& command : line->commands) {
        if (std::equal(command.begin(), command.end(), frame.begin(), frame.end())) return true;
      }
    }
    return false;
  }

  // The client answers no more than it is sent, plus what it starts with
  // on each connection and the purge it may put before each frame.
  bool TelnetInProportion() {
    std::lock_guard lock(mutex_);
    return telnetFromClient_ <= 3 * bytesSent_ + 64 * lines_.size() + 8 * framesFromClient_;
  }

 private:
  struct Line {
    std::shared_ptr<Connection> connection;
    std::vector<uint8_t> sent;  // every byte queued for the client
    TelnetReading reading;      // what the client sent
    size_t dataTaken = 0;       // of reading.data, cut into frames
    size_t optionsSeen = 0;
    size_t subnegotiationsSeen = 0;
    std::array<bool, 256> answeredWill{}, answeredDo{};
    std::vector<std::vector<uint8_t>> commands;
    bool first = true;
    bool closed = false;
  };

  bool Scripted() const { return next_ < script_.size(); }
  uint8_t Take() { return next_ < script_.size() ? script_[next_++] : 0; }

  Line* LineOf(const Connection& connection) {
    for (auto& line : lines_) {
      if (line->connection.get() == &connection) return line.get();
    }
    return nullptr;
  }

  void CloseLine(Line& line) {
    line.closed = true;
    line.connection->Close();
  }

  void Deliver(Line& line, std::vector<uint8_t> out, bool split) {
    if (out.empty()) return;
    Append(line.sent, out);
    bytesSent_ += out.size();
    size_t at = 0;
    while (at < out.size()) {
      const size_t piece = split && Scripted() ? 1 + Take() % 16 : out.size() - at;
      const size_t end = std::min(out.size(), at + piece);
      line.connection->Send({out.begin() + static_cast<long>(at), out.begin() + static_cast<long>(end)});
      at = end;
    }
  }

  // As a device server: it takes BINARY, SUPPRESS-GO-AHEAD and COM-PORT,
  // refuses the rest, and answers each request once.
  void AnswerOptions(Line& line, std::vector<uint8_t>& out) {
    for (; line.optionsSeen < line.reading.options.size(); ++line.optionsSeen) {
      const auto [verb, option] = line.reading.options[line.optionsSeen];
      if (verb == kWill && !line.answeredWill[option]) {
        line.answeredWill[option] = true;
        const bool yes = option == kBinary || option == kSuppressGoAhead || option == kComPort;
        Append(out, std::array<uint8_t, 3>{kIac, yes ? kDo : kDont, option});
      } else if (verb == kDo && !line.answeredDo[option]) {
        line.answeredDo[option] = true;
        const bool yes = option == kBinary || option == kSuppressGoAhead;
        Append(out, std::array<uint8_t, 3>{kIac, yes ? kWill : kWont, option});
      }
    }
  }

  // Settings and purges are answered with their value; true when the
  // client asked for one of them.
  static bool AnswerSubnegotiation(const TelnetReading::Subnegotiation& sub, std::vector<uint8_t>& out) {
    if (sub.option != kComPort || sub.payload.empty()) return false;
    const uint8_t command = sub.payload[0];
    if (!((command >= 1 && command <= 5) || command == 12)) return false;
    std::vector<uint8_t> payload = sub.payload;
    payload[0] = static_cast<uint8_t>(command + kServerOffset);
    Append(out, SubnegotiationOf(kComPort, payload));
    return true;
  }

  static std::vector<uint8_t> SubnegotiationOf(uint8_t option, std::span<const uint8_t> payload) {
    std::vector<uint8_t> out{kIac, kSb, option};
    Append(out, Escaped(payload));
    Append(out, std::array<uint8_t, 2>{kIac, kSe});
    return out;
  }

  // The client's data is nothing but whole, right command frames.
  std::vector<std::vector<uint8_t>> TakeCommandFrames(Line& line) {
    std::vector<std::vector<uint8_t>> frames;
    const auto& data = line.reading.data;
    while (data.size() - line.dataTaken > vqhw::frame::kLength) {
      const uint8_t* start = data.data() + line.dataTaken;
      FUZZ_CHECK(start[0] == 0xFF);
      const size_t size = vqhw::FrameSize(start);
      if (data.size() - line.dataTaken < size) break;
      FUZZ_CHECK(vqhw::HasRightCheckByte(start));
      frames.emplace_back(start, start + size);
      line.commands.emplace_back(start, start + size);
      line.dataTaken += size;
      ++framesFromClient_;
    }
    return frames;
  }

  // The reader's answer: the command's own data back, at most 245 bytes.
  static std::vector<uint8_t> Echo(const std::vector<uint8_t>& command) {
    const size_t count = std::min<size_t>(command[vqhw::frame::kLength], 245);
    return Frame(command[vqhw::frame::kSequence], 0,
                 {command.data() + vqhw::frame::kData, count});
  }

  std::vector<uint8_t> ScriptedAnswer(const std::vector<uint8_t>& command) {
    const uint8_t sequence = Take();
    const uint8_t status = Take();
    std::vector<uint8_t> data(Take() % 246);
    for (uint8_t& b : data) b = Take();
    std::vector<uint8_t> frame =
        Frame(sequence % 16 < 8 ? command[vqhw::frame::kSequence] : sequence % 8, status, data);
    if ((Take() & 7) == 0) frame.back() ^= 1;
    return frame;
  }

  // The reader's bytes as the connection carries them.
  std::vector<uint8_t> Reader(const std::vector<uint8_t>& bytes) const {
    return telnet_ ? Escaped(bytes) : bytes;
  }

  std::vector<uint8_t> Noise() {
    std::vector<uint8_t> out;
    switch (Take() % 7) {
      case 0:
        Append(out, std::array<uint8_t, 3>{kIac, static_cast<uint8_t>(kWill + Take() % 4), Take()});
        break;
      case 1:
        Append(out, std::array<uint8_t, 2>{kIac, Take()});
        break;
      case 2: {
        std::vector<uint8_t> payload{static_cast<uint8_t>(kServerOffset + Take() % 13)};
        payload.resize(1 + Take() % 6);
        for (size_t i = 1; i < payload.size(); ++i) payload[i] = Take();
        Append(out, SubnegotiationOf(kComPort, payload));
        break;
      }
      case 3: {
        Append(out, std::array<uint8_t, 3>{kIac, kSb, Take()});
        std::vector<uint8_t> payload(Take());
        const uint8_t fill = Take();
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(fill + i * 37);
        Append(out, Escaped(payload));
        switch (Take() % 3) {
          case 0: Append(out, std::array<uint8_t, 2>{kIac, kSe}); break;
          case 1: break;  // never ended
          default: Append(out, std::array<uint8_t, 2>{kIac, Take()}); break;
        }
        break;
      }
      case 4: {
        std::vector<uint8_t> raw(Take() % 32);
        for (uint8_t& b : raw) b = Take();
        Append(out, raw);
        break;
      }
      case 5: {
        const uint8_t sequence = Take() % 8;
        const uint8_t status = Take();
        std::vector<uint8_t> data(Take() % 8);
        for (uint8_t& b : data) b = Take();
        Append(out, Reader(Frame(sequence, status, data)));
        break;
      }
      default: {
        // An option storm: one verb after another about the same option.
        const size_t count = Take();
        const uint8_t option = Take();
        for (size_t i = 0; i < count; ++i) {
          Append(out, std::array<uint8_t, 3>{kIac, static_cast<uint8_t>(kWill + i % 4), option});
        }
        break;
      }
    }
    return out;
  }

  std::mutex mutex_;
  bool telnet_ = false;
  std::span<const uint8_t> script_;
  size_t next_ = 0;
  std::vector<std::unique_ptr<Line>> lines_;
  size_t bytesSent_ = 0;
  size_t telnetFromClient_ = 0;
  size_t framesFromClient_ = 0;
};

HostileServer server;

bool IsTransactionFailure(vqhw::ReaderStatus s) {
  namespace status = vqhw::status;
  return s == status::kTimeout || s == status::kCheckByteWrong || s == status::kWrongSequence ||
         s == status::kCannotSend;
}

// The command data of command `index`: its length from the input, 0xFF in
// every third place.
std::vector<uint8_t> CommandData(uint8_t length, size_t index) {
  std::vector<uint8_t> data(length % 48);
  for (size_t i = 0; i < data.size(); ++i) data[i] = i % 3 == 0 ? 0xFF : static_cast<uint8_t>(index * 16 + i);
  return data;
}

// One command; on success its answer must be one the server's reader sent.
vqhw::ReaderStatus Command(vqhw::ReaderLink& link, const std::vector<uint8_t>& data) {
  uint8_t response[vqhw::kFrameBufferSize + 1];
  const int32_t sequence = link.SequenceNumber();
  const vqhw::ReaderStatus result =
      link.Transact(0x40, data.data(), static_cast<int32_t>(data.size()), response);
  if (result != vqhw::status::kOk) {
    FUZZ_CHECK(IsTransactionFailure(result));
    return result;
  }
  const size_t size = vqhw::FrameSize(response);
  FUZZ_CHECK(response[vqhw::frame::kSequence] == sequence);
  FUZZ_CHECK(response[size] == 0);
  FUZZ_CHECK(server.Carried({response, size}));
  FUZZ_CHECK(server.Got({link.LastCommandFrame(), data.size() + vqhw::kFrameOverhead}));
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool installed = (vqhw::memory_socket::SetServer(&server), true);
  (void)installed;
  if (size < 1) return 0;
  const bool telnet = data[0] & 1;
  const size_t commands = 1 + (data[0] >> 1) % 4;
  if (size < 1 + commands) return 0;
  server.Begin(telnet, {data + 1 + commands, size - 1 - commands});
  const char* url = telnet ? "rfc2217://127.0.0.1:2217" : "socket://127.0.0.1:4001";

  auto link = std::make_unique<vqhw::ReaderLink>();
  vqhw::SerialChannel& channel = link->Channel();
  const vqhw::ReaderStatus opened = channel.Open(url, 115200, 'N', 8, 1);
  if (opened != vqhw::status::kOk) {
    FUZZ_CHECK(opened == vqhw::status::kCannotOpen || opened == vqhw::status::kSettingsRejected);
    server.Behave();
    FUZZ_CHECK(channel.Open(url, 115200, 'N', 8, 1) == vqhw::status::kOk);
  }
  for (size_t i = 0; i < commands; ++i) Command(*link, CommandData(data[1 + i], i));

  server.Restart();
  const std::vector<uint8_t> last = CommandData(data[1], commands);
  // A command fails only while the server is away; the lane's next ones
  // work. Given two seconds, so that a worker thread the machine is slow to
  // wake is not taken for a fault; a lane that cannot recover fails them all.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  bool recovered = false;
  for (int i = 0; !recovered && (i < 3 || std::chrono::steady_clock::now() < giveUp); ++i) {
    recovered = Command(*link, last) == vqhw::status::kOk;
  }
  FUZZ_CHECK(recovered);
  const auto echoed = vqhw::ResponseData(link->LastResponseFrame());
  FUZZ_CHECK(std::equal(echoed.begin(), echoed.end(), last.begin(), last.end()));
  FUZZ_CHECK(server.TelnetInProportion());
  FUZZ_CHECK(channel.Close() == vqhw::status::kOk);
  return 0;
}
