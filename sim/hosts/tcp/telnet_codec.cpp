#include "sim/hosts/tcp/telnet_codec.h"

namespace vqsim::telnet {

std::vector<Event> Decoder::Feed(std::span<const uint8_t> bytes) {
  std::vector<Event> events;
  for (const uint8_t b : bytes) {
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kCommand;
        } else {
          data_.push_back(b);
        }
        break;
      case State::kCommand:
        Command(b, events);
        break;
      case State::kOption:
        FlushData(events);
        events.push_back({Event::Kind::kNegotiation, verb_, b, {}});
        state_ = State::kData;
        break;
      case State::kSubOption:
        sub_ = {Event::Kind::kSubnegotiation, 0, b, {}};
        subTooLong_ = false;
        state_ = State::kSubData;
        break;
      case State::kSubData:
        if (b == kIac) {
          state_ = State::kSubCommand;
        } else if (sub_.bytes.size() < kLongestSubnegotiation) {
          sub_.bytes.push_back(b);
        } else {
          subTooLong_ = true;
        }
        break;
      case State::kSubCommand:
        if (b == kIac) {
          if (sub_.bytes.size() < kLongestSubnegotiation) {
            sub_.bytes.push_back(kIac);
          } else {
            subTooLong_ = true;
          }
          state_ = State::kSubData;
        } else if (b == kSe) {
          if (!subTooLong_) events.push_back(std::move(sub_));
          sub_ = {};
          state_ = State::kData;
        } else {
          // A command inside a subnegotiation ends it unfinished: it is
          // dropped, and the command counts as one of its own.
          sub_ = {};
          Command(b, events);
        }
        break;
    }
  }
  FlushData(events);
  return events;
}

// The byte after an IAC outside a subnegotiation.
void Decoder::Command(uint8_t code, std::vector<Event>& events) {
  state_ = State::kData;
  if (code == kIac) {
    data_.push_back(kIac);
  } else if (code >= kWill) {
    verb_ = code;
    state_ = State::kOption;
  } else if (code == kSb) {
    FlushData(events);
    state_ = State::kSubOption;
  } else if (code != kSe) {  // an SE without its SB means nothing
    FlushData(events);
    events.push_back({Event::Kind::kCommand, code, 0, {}});
  }
}

void Decoder::FlushData(std::vector<Event>& events) {
  if (data_.empty()) return;
  events.push_back({Event::Kind::kData, 0, 0, std::move(data_)});
  data_.clear();
}

std::vector<uint8_t> EncodeData(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  out.reserve(data.size() + data.size() / 8 + 1);
  for (const uint8_t b : data) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
  return out;
}

std::vector<uint8_t> Negotiation(uint8_t verb, uint8_t option) { return {kIac, verb, option}; }

std::vector<uint8_t> Subnegotiation(uint8_t option, std::span<const uint8_t> payload) {
  std::vector<uint8_t> out{kIac, kSb, option};
  const std::vector<uint8_t> body = EncodeData(payload);
  out.insert(out.end(), body.begin(), body.end());
  out.push_back(kIac);
  out.push_back(kSe);
  return out;
}

}  // namespace vqsim::telnet
