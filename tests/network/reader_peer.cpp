#include "network/reader_peer.h"

#include <thread>
#include <utility>

namespace vqtest {

namespace {

constexpr uint8_t kIac = 0xFF, kSb = 0xFA, kSe = 0xF0, kWill = 0xFB, kDo = 0xFD;
constexpr uint8_t kComPort = 44;
constexpr uint8_t kModemStateNotice[] = {kIac, kSb, kComPort, 107, 0x30, kIac, kSe};

// The device server's answer to each command of the client.
ByteVector AnswerCommand(const ByteVector& command, const PeerBehaviour& behaviour) {
  if (command.size() == 3 && command[1] == kWill) return {kIac, kDo, command[2]};
  if (command.size() == 3 && command[1] == kDo) return {kIac, kWill, command[2]};
  if (command.size() < 5 || command[1] != kSb || command[2] != kComPort || !behaviour.answerSettings) return {};
  ByteVector payload(command.begin() + 3, command.end() - 2);  // undoubled below
  ByteVector value;
  for (size_t i = 1; i < payload.size(); ++i) {
    value.push_back(payload[i]);
    if (payload[i] == kIac && i + 1 < payload.size() && payload[i + 1] == kIac) ++i;
  }
  if (payload[0] == 1 && behaviour.answeredSpeed) {
    const uint32_t s = *behaviour.answeredSpeed;
    value = {static_cast<uint8_t>(s >> 24), static_cast<uint8_t>(s >> 16), static_cast<uint8_t>(s >> 8),
             static_cast<uint8_t>(s)};
  }
  ByteVector answer{kIac, kSb, kComPort, static_cast<uint8_t>(payload[0] + 100)};
  const ByteVector doubled = Doubled(value);
  answer.insert(answer.end(), doubled.begin(), doubled.end());
  answer.insert(answer.end(), {kIac, kSe});
  return answer;
}

}  // namespace

ByteVector Doubled(std::span<const uint8_t> data) {
  ByteVector out;
  for (uint8_t b : data) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
  return out;
}

void TelnetClientStream::Data(uint8_t b) {
  data_.push_back(b);
  allData_.push_back(b);
}

void TelnetClientStream::Feed(std::span<const uint8_t> bytes) {
  std::lock_guard lock(lock_);
  for (uint8_t b : bytes) {
    if (pending_.empty()) {
      if (b == kIac) {
        pending_.push_back(b);
      } else {
        Data(b);
      }
      continue;
    }
    pending_.push_back(b);
    const size_t n = pending_.size();
    bool complete = false;
    if (n == 2 && b == kIac) {  // a doubled IAC: a data byte
      pending_.clear();
      Data(0xFF);
      continue;
    }
    if (n == 2 && b != kSb && b < kWill) complete = true;  // a two-byte command
    if (n == 3 && pending_[1] >= kWill) complete = true;
    if (n >= 4 && pending_[1] == kSb && b == kSe && pending_[n - 2] == kIac) {
      // IAC SE ends it unless that IAC is the second of a doubled pair.
      size_t run = 0;
      for (size_t i = n - 2; i >= 3 && pending_[i] == kIac; --i) ++run;
      complete = run % 2 == 1;
    }
    if (complete) {
      commands_.push_back(pending_);
      all_.push_back({pending_, allData_.size()});
      pending_.clear();
    }
  }
}

ByteVector TelnetClientStream::TakeData() {
  std::lock_guard lock(lock_);
  return std::exchange(data_, {});
}

std::vector<ByteVector> TelnetClientStream::TakeCommands() {
  std::lock_guard lock(lock_);
  return std::exchange(commands_, {});
}

std::vector<TelnetClientStream::Command> TelnetClientStream::AllCommands() const {
  std::lock_guard lock(lock_);
  return all_;
}

ByteVector TelnetClientStream::AllData() const {
  std::lock_guard lock(lock_);
  return allData_;
}

void ServeReader(PeerConnection& connection, vqsim::VirtualReader& reader, const PeerBehaviour& behaviour,
                 TelnetClientStream* stream) {
  TelnetClientStream own;
  TelnetClientStream& client = stream != nullptr ? *stream : own;
  connection.Send(behaviour.greeting);
  while (connection.Open()) {
    const ByteVector received = connection.Receive(std::chrono::milliseconds(50));
    if (received.empty()) continue;
    ByteVector data = received;
    if (behaviour.telnet) {
      client.Feed(received);
      for (const ByteVector& command : client.TakeCommands()) {
        if (behaviour.negotiate) connection.Send(AnswerCommand(command, behaviour));
      }
      data = client.TakeData();
    }
    for (const auto& chunk : reader.Receive(data)) {
      const ByteVector wire = behaviour.telnet ? Doubled(chunk.bytes) : chunk.bytes;
      if (behaviour.cutAnswer != 0 && reader.ReceivedFrames().size() == behaviour.cutAnswer) {
        connection.Send({wire.data(), wire.size() / 2});
        connection.Close();
        return;
      }
      if (behaviour.answerInTwoWrites) {
        connection.Send({wire.data(), wire.size() / 2});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        connection.Send({wire.data() + wire.size() / 2, wire.size() - wire.size() / 2});
        continue;
      }
      if (!behaviour.splitEveryByte) {
        connection.Send(wire);
        continue;
      }
      for (uint8_t b : wire) {
        connection.Send({&b, 1});
        if (behaviour.telnet && b != kIac) connection.SendByteByByte(kModemStateNotice, std::chrono::microseconds(50));
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
    }
  }
}

}  // namespace vqtest
