// The virtual reader's TCP port against a hostile client: what the client
// sends, cut into reads, goes through the com port server (its telnet
// decoder and the device-server side) and the reader behind it, with a
// card in the field, as the TCP host passes it on. The input's first byte
// picks rfc2217 (odd) or socket://; then come pieces, each a length byte
// (1 + b % 32 bytes follow) or 0: the client leaves and another comes.
//
// What must hold:
//   - where the client's bytes are cut changes nothing: the same bytes in
//     one read give the same data, purges, replies, notes and settings;
//   - the replies are telnet a client can read: negotiations and com port
//     answers only, never data, and no more than a few bytes for each byte
//     the client sent (no answering loops, no growth);
//   - the line settings kept are ones a serial line can have;
//   - every byte the reader writes back belongs to a whole, right response
//     frame answering a command it received, and survives the telnet
//     encoding unchanged.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/cards/mifare/mifare_classic.h"
#include "sim/hosts/tcp/com_port_server.h"
#include "sim/reader/reader_model.h"

namespace {

using vqsim::ComPortServer;
namespace telnet = vqsim::telnet;

// What the server made of the client's bytes, with the pieces laid end to
// end: data bytes, a purge as a mark between them.
struct Made {
  std::vector<int> stream;  // a byte, or -1 for a purge
  std::vector<uint8_t> reply;
  std::vector<std::string> notes;

  void Add(const ComPortServer::Incoming& in) {
    for (const auto& piece : in.pieces) {
      if (piece.purge) stream.push_back(-1);
      stream.insert(stream.end(), piece.data.begin(), piece.data.end());
    }
    reply.insert(reply.end(), in.reply.begin(), in.reply.end());
    notes.insert(notes.end(), in.notes.begin(), in.notes.end());
  }
};

bool SameSettings(const ComPortServer::LineSettings& a, const ComPortServer::LineSettings& b) {
  return a.baud == b.baud && a.dataSize == b.dataSize && a.parity == b.parity && a.stopSize == b.stopSize &&
         a.flowControl == b.flowControl && a.inboundFlowControl == b.inboundFlowControl && a.dtr == b.dtr &&
         a.rts == b.rts && a.breakOn == b.breakOn;
}

void CheckSettings(const ComPortServer::LineSettings& s) {
  FUZZ_CHECK(s.baud != 0);
  FUZZ_CHECK(s.dataSize >= 5 && s.dataSize <= 8);
  FUZZ_CHECK(s.parity >= 1 && s.parity <= 5);
  FUZZ_CHECK(s.stopSize >= 1 && s.stopSize <= 3);
}

// Every reply is a negotiation or an answer of the com port option.
void CheckReply(std::span<const uint8_t> reply) {
  telnet::Decoder decoder;
  for (const auto& event : decoder.Feed(reply)) {
    switch (event.kind) {
      case telnet::Event::Kind::kNegotiation:
        FUZZ_CHECK(event.code >= telnet::kWill);
        break;
      case telnet::Event::Kind::kSubnegotiation:
        FUZZ_CHECK(event.option == telnet::kComPort && !event.bytes.empty());
        FUZZ_CHECK(event.bytes[0] >= ComPortServer::kServerOffset &&
                   event.bytes[0] <= ComPortServer::kServerOffset + ComPortServer::kPurgeData);
        break;
      default:
        FUZZ_CHECK(false);  // data or a bare command in a reply
    }
  }
  // Nothing left unfinished: a decoder fed one more data byte gives it as data.
  const uint8_t probe = 0x41;
  const auto after = decoder.Feed(std::span(&probe, 1));
  FUZZ_CHECK(after.size() == 1 && after[0].kind == telnet::Event::Kind::kData);
}

// One client's connection, served in pieces and, for the comparison, whole.
class Client {
 public:
  explicit Client(bool telnet) : telnet_(telnet) {}

  // The data for the reader in this piece.
  std::vector<uint8_t> Take(std::span<const uint8_t> bytes) {
    sent_.insert(sent_.end(), bytes.begin(), bytes.end());
    if (!telnet_) return {bytes.begin(), bytes.end()};
    const ComPortServer::Incoming in = pieces_.Take(bytes);
    made_.Add(in);
    std::vector<uint8_t> data;
    for (const auto& piece : in.pieces) data.insert(data.end(), piece.data.begin(), piece.data.end());
    return data;
  }

  void Leave() {
    if (!telnet_) return;
    ComPortServer whole;
    Made once;
    once.Add(whole.Take(sent_));
    FUZZ_CHECK(once.stream == made_.stream);
    FUZZ_CHECK(once.reply == made_.reply);
    FUZZ_CHECK(once.notes == made_.notes);
    FUZZ_CHECK(SameSettings(whole.Settings(), pieces_.Settings()));
    CheckSettings(pieces_.Settings());
    CheckReply(made_.reply);
    // A signature asked for is the longest answer: 6 bytes bring 34.
    FUZZ_CHECK(made_.reply.size() <= 6 * sent_.size() + 8);
  }

 private:
  const bool telnet_;
  ComPortServer pieces_;
  Made made_;
  std::vector<uint8_t> sent_;
};

// The reader's bytes must cut into whole frames answering commands it got.
void CheckAnswers(const std::vector<uint8_t>& answered, const vqsim::VirtualReader& reader) {
  std::array<bool, 256> commanded{};
  for (const auto& frame : reader.ReceivedFrames()) commanded[frame.bytes[1]] = true;
  size_t at = 0;
  while (at < answered.size()) {
    FUZZ_CHECK(answered.size() - at >= 5 && answered[at] == 0xFF);
    const size_t size = answered[at + 3] + size_t{5};
    FUZZ_CHECK(answered.size() - at >= size);
    uint8_t check = 0;
    for (size_t i = 0; i < size; ++i) check ^= answered[at + i];
    FUZZ_CHECK(check == 0);
    FUZZ_CHECK(commanded[answered[at + 1]]);
    at += size;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool telnet = data[0] & 1;
  vqsim::VirtualReader reader;
  reader.InsertCard(std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
  auto client = std::make_unique<Client>(telnet);
  std::vector<uint8_t> answered;
  size_t i = 1;
  while (i < size) {
    const uint8_t header = data[i++];
    if (header == 0) {
      client->Leave();
      client = std::make_unique<Client>(telnet);
      reader.DropPartialFrame();
      continue;
    }
    const size_t count = std::min<size_t>(1 + header % 32, size - i);
    const std::vector<uint8_t> forReader = client->Take({data + i, count});
    i += count;
    for (const auto& chunk : reader.Receive(forReader)) {
      answered.insert(answered.end(), chunk.bytes.begin(), chunk.bytes.end());
      if (telnet) {
        telnet::Decoder decoder;
        const auto events = decoder.Feed(ComPortServer::Outgoing(chunk.bytes));
        FUZZ_CHECK(chunk.bytes.empty() || (events.size() == 1 && events[0].bytes == chunk.bytes));
      }
    }
  }
  client->Leave();
  CheckAnswers(answered, reader);
  return 0;
}
