#include "sim/hosts/tcp/com_port_server.h"

#include <string_view>

namespace vqsim {

namespace {

using telnet::Event;

bool Accepted(uint8_t option) {
  return option == telnet::kBinary || option == telnet::kSuppressGoAhead || option == telnet::kComPort;
}

std::string On(bool on) { return on ? "on" : "off"; }

}  // namespace

ComPortServer::Incoming ComPortServer::Take(std::span<const uint8_t> bytes) {
  Incoming in;
  for (Event& event : decoder_.Feed(bytes)) {
    switch (event.kind) {
      case Event::Kind::kData:
        if (in.pieces.empty() || in.pieces.back().purge) {
          in.pieces.push_back({});
        }
        in.pieces.back().data.insert(in.pieces.back().data.end(), event.bytes.begin(), event.bytes.end());
        break;
      case Event::Kind::kNegotiation:
        Negotiate(event.code, event.option, in);
        break;
      case Event::Kind::kSubnegotiation:
        if (event.option == telnet::kComPort) {
          ComPort(event.bytes, in);
        } else {
          in.notes.push_back("subnegotiation of option " + std::to_string(event.option) + " ignored");
        }
        break;
      case Event::Kind::kCommand:
        if (event.code == telnet::kBreak) {
          in.notes.push_back("BREAK");
        } else if (event.code != telnet::kNop) {
          in.notes.push_back("telnet command " + std::to_string(event.code) + " ignored");
        }
        break;
    }
  }
  return in;
}

// Each side says once what it does: a request that changes nothing is not
// answered, so that two sides never answer each other without end.
void ComPortServer::Negotiate(uint8_t verb, uint8_t option, Incoming& in) {
  const auto reply = [&](uint8_t answer) {
    const std::vector<uint8_t> bytes = telnet::Negotiation(answer, option);
    in.reply.insert(in.reply.end(), bytes.begin(), bytes.end());
  };
  switch (verb) {
    case telnet::kWill:
      if (!Accepted(option)) {
        reply(telnet::kDont);
        in.notes.push_back("refused the client's option " + std::to_string(option));
      } else if (!theirs_[option]) {
        theirs_[option] = true;
        reply(telnet::kDo);
        if (option == telnet::kComPort && !modemStateTold_) TellModemState(in);
      }
      break;
    case telnet::kWont:
      if (theirs_[option]) {
        theirs_[option] = false;
        reply(telnet::kDont);
      }
      break;
    case telnet::kDo:
      if (!Accepted(option)) {
        reply(telnet::kWont);
        in.notes.push_back("refused option " + std::to_string(option));
      } else if (!ours_[option]) {
        ours_[option] = true;
        reply(telnet::kWill);
        if (option == telnet::kComPort && !modemStateTold_) TellModemState(in);
      }
      break;
    case telnet::kDont:
      if (ours_[option]) {
        ours_[option] = false;
        reply(telnet::kWont);
      }
      break;
    default:
      break;
  }
}

void ComPortServer::ComPort(std::span<const uint8_t> request, Incoming& in) {
  if (request.empty()) return;
  const uint8_t code = request[0];
  const std::span<const uint8_t> value = request.subspan(1);
  const auto one = [&](uint8_t lowest, uint8_t highest, uint8_t& setting, const char* name) {
    if (value.size() != 1) {
      in.notes.push_back(std::string("malformed ") + name + " ignored");
      return;
    }
    if (value[0] >= lowest && value[0] <= highest && value[0] != setting) {
      setting = value[0];
      in.notes.push_back(std::string(name) + " " + std::to_string(setting));
    }
    Answer(code, std::span(&setting, 1), in);
  };
  switch (code) {
    case kSignature:
      if (value.empty()) {
        const std::string_view text = kSignatureText;
        Answer(code, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), in);
      }
      break;
    case kSetBaudRate: {
      if (value.size() != 4) {
        in.notes.push_back("malformed SET-BAUDRATE ignored");
        break;
      }
      const uint32_t baud = uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3];
      if (baud != 0 && baud != settings_.baud) {
        settings_.baud = baud;
        in.notes.push_back("speed " + std::to_string(baud));
      }
      const uint32_t now = settings_.baud;
      const uint8_t answer[4] = {static_cast<uint8_t>(now >> 24), static_cast<uint8_t>(now >> 16),
                                 static_cast<uint8_t>(now >> 8), static_cast<uint8_t>(now)};
      Answer(code, answer, in);
      break;
    }
    case kSetDataSize:
      one(5, 8, settings_.dataSize, "data bits");
      break;
    case kSetParity:
      one(1, 5, settings_.parity, "parity");
      break;
    case kSetStopSize:
      one(1, 3, settings_.stopSize, "stop bits");
      break;
    case kSetControl:
      if (value.size() == 1) {
        Control(value[0], in);
      } else {
        in.notes.push_back("malformed SET-CONTROL ignored");
      }
      break;
    case kNotifyLineState:
      Answer(code, std::span(&kLineState, 1), in);
      break;
    case kNotifyModemState:
      Answer(code, std::span(&kModemState, 1), in);
      break;
    case kFlowControlSuspend:
    case kFlowControlResume:
      in.notes.push_back(code == kFlowControlSuspend ? "flow control suspend" : "flow control resume");
      break;
    case kSetLineStateMask:
      one(0, 0xFF, lineStateMask_, "line state mask");
      break;
    case kSetModemStateMask:
      one(0, 0xFF, modemStateMask_, "modem state mask");
      if (value.size() == 1) TellModemState(in);
      break;
    case kPurgeData:
      if (value.size() == 1 && value[0] >= 1 && value[0] <= 3) {
        if (value[0] != 1) in.pieces.push_back({{}, true});
        in.notes.push_back(value[0] == 1 ? "purge the answers (none held)" : "purge the commands");
        Answer(code, value, in);
      } else {
        in.notes.push_back("malformed PURGE-DATA ignored");
      }
      break;
    default:
      in.notes.push_back("com port command " + std::to_string(code) + " ignored");
      break;
  }
}

// SET-CONTROL: a value that asks is answered with the setting in effect,
// one that sets is kept and echoed.
void ComPortServer::Control(uint8_t value, Incoming& in) {
  uint8_t answer = value;
  switch (value) {
    case 0:
      answer = settings_.flowControl;
      break;
    case 1: case 2: case 3: case 17: case 18: case 19:
      settings_.flowControl = value;
      break;
    case 4:
      answer = settings_.breakOn ? 5 : 6;
      break;
    case 5: case 6:
      if (settings_.breakOn != (value == 5)) in.notes.push_back("BREAK " + On(value == 5));
      settings_.breakOn = value == 5;
      break;
    case 7:
      answer = settings_.dtr ? 8 : 9;
      break;
    case 8: case 9:
      if (settings_.dtr != (value == 8)) in.notes.push_back("DTR " + On(value == 8));
      settings_.dtr = value == 8;
      break;
    case 10:
      answer = settings_.rts ? 11 : 12;
      break;
    case 11: case 12:
      if (settings_.rts != (value == 11)) in.notes.push_back("RTS " + On(value == 11));
      settings_.rts = value == 11;
      break;
    case 13:
      answer = settings_.inboundFlowControl;
      break;
    case 14: case 15: case 16:
      settings_.inboundFlowControl = value;
      break;
    default:
      in.notes.push_back("SET-CONTROL " + std::to_string(value) + " ignored");
      return;
  }
  Answer(kSetControl, std::span(&answer, 1), in);
}

// NOTIFY-MODEMSTATE with the lines the mask lets through.
void ComPortServer::TellModemState(Incoming& in) {
  modemStateTold_ = true;
  const uint8_t state = kModemState & modemStateMask_;
  Answer(kNotifyModemState, std::span(&state, 1), in);
}

void ComPortServer::Answer(uint8_t code, std::span<const uint8_t> value, Incoming& in) const {
  std::vector<uint8_t> payload{static_cast<uint8_t>(code + kServerOffset)};
  payload.insert(payload.end(), value.begin(), value.end());
  const std::vector<uint8_t> bytes = telnet::Subnegotiation(telnet::kComPort, payload);
  in.reply.insert(in.reply.end(), bytes.begin(), bytes.end());
}

}  // namespace vqsim
