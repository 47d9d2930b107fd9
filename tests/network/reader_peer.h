#pragma once
// The device server's side of a connection, as a test scripts it: the
// virtual reader behind a TCP peer, reached raw or through telnet with the
// COM-PORT option, and the ways a server or a network can misbehave.
// Written apart from the library's own telnet code, so that one mistake
// cannot hide in both.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "network/tcp_peer.h"
#include "sim/reader/reader_model.h"

namespace vqtest {

using ByteVector = std::vector<uint8_t>;

// What the client sent on a telnet connection: its data with IAC undoubled,
// and each command (IAC WILL x, IAC SB ... IAC SE) as the bytes it was
// made of, both in the order they came. The peer's thread feeds it while
// the test looks: each call takes its lock.
class TelnetClientStream {
 public:
  struct Command {
    ByteVector bytes;
    size_t dataBefore;  // data bytes the client had sent before it
  };

  void Feed(std::span<const uint8_t> bytes);
  ByteVector TakeData();
  std::vector<ByteVector> TakeCommands();
  // Every command and every data byte so far, taken or not.
  std::vector<Command> AllCommands() const;
  ByteVector AllData() const;

 private:
  void Data(uint8_t b);

  mutable std::mutex lock_;
  ByteVector data_;
  std::vector<ByteVector> commands_;
  std::vector<Command> all_;
  ByteVector allData_;
  ByteVector pending_;  // a command not yet complete
};

ByteVector Doubled(std::span<const uint8_t> data);

struct PeerBehaviour {
  bool telnet = false;
  // ByteVector sent as soon as the client connects (a banner, options).
  ByteVector greeting;
  // Telnet: answer the client's COM-PORT offer and settings at all.
  bool negotiate = true;
  // Telnet: answer the line settings (the options are answered still).
  bool answerSettings = true;
  // Telnet: the speed the server says it set (none: the one asked for).
  std::optional<uint32_t> answeredSpeed;
  // Every answer a byte a segment, with a modem-state notice (telnet) after each.
  bool splitEveryByte = false;
  // Every answer in two writes 2 ms apart, as a server whose character
  // delay ends in the middle of one.
  bool answerInTwoWrites = false;
  // Close the connection after half of the answer to the reader's n-th
  // command frame (0: never).
  size_t cutAnswer = 0;
};

// Serves `reader` on `connection` as `behaviour` says until the client
// closes or the peer stops; `stream` (when given) keeps what a telnet
// client sent.
void ServeReader(PeerConnection& connection, vqsim::VirtualReader& reader, const PeerBehaviour& behaviour,
                 TelnetClientStream* stream = nullptr);

}  // namespace vqtest
