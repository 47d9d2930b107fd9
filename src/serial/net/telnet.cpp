#include "serial/net/telnet.h"

namespace vqhw::net::telnet {

void AppendEscaped(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
  for (uint8_t b : data) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
}

void AppendOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
  out.insert(out.end(), {kIac, verb, option});
}

void AppendSubnegotiation(uint8_t option, std::span<const uint8_t> payload, std::vector<uint8_t>& out) {
  out.insert(out.end(), {kIac, kSb, option});
  AppendEscaped(payload, out);
  out.insert(out.end(), {kIac, kSe});
}

bool Parser::AfterIac(uint8_t b) {
  state_ = State::kData;
  if (b == kIac) return true;
  if (b >= kWill) {
    verb_ = b;
    state_ = State::kOption;
  } else if (b == kSb) {
    state_ = State::kSbOption;
  }
  // Any other command (NOP, GA, a stray SE ...) means nothing to a line.
  return false;
}

void Parser::KeepSubnegotiationByte(uint8_t b) {
  if (sbLength_ < sb_.size()) {
    sb_[sbLength_++] = b;
  } else {
    state_ = State::kData;  // it runs on: given up
  }
}

size_t Parser::Feed(const uint8_t* input, size_t count, uint8_t* data, Events& events) {
  size_t produced = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = input[i];
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kAfterIac;
        } else {
          data[produced++] = b;
        }
        break;
      case State::kAfterIac:
        if (AfterIac(b)) data[produced++] = b;
        break;
      case State::kOption:
        state_ = State::kData;
        events.Option(verb_, b);
        break;
      case State::kSbOption:
        sbOption_ = b;
        sbLength_ = 0;
        state_ = State::kSbData;
        break;
      case State::kSbData:
        if (b == kIac) {
          state_ = State::kSbAfterIac;
        } else {
          KeepSubnegotiationByte(b);
        }
        break;
      case State::kSbAfterIac:
        if (b == kIac) {
          state_ = State::kSbData;
          KeepSubnegotiationByte(b);
        } else if (b == kSe) {
          state_ = State::kData;
          events.Subnegotiation(sbOption_, {sb_.data(), sbLength_});
        } else {
          // A command inside a subnegotiation ends it unfinished; the
          // command itself is taken as such (b is no IAC here).
          AfterIac(b);
        }
        break;
    }
  }
  return produced;
}

}  // namespace vqhw::net::telnet
