#include "sim/lane/session_replay.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <sstream>

#include "sim/protocol/frame_layout.h"

namespace vqsim {
namespace {

std::string HexText(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[4];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", b);
    text += pair;
  }
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Three years of a session, far inside what the clock holds in nanoseconds.
constexpr double kLatestMs = 1e11;

[[noreturn]] void Refuse(int line, const std::string& what) {
  throw SessionRecordError("line " + std::to_string(line) + ": " + what);
}

// "   12.345  >   FF 00 70 03 AA AA AA 26"
RecordedBytes ParseLine(std::string_view text, int line) {
  RecordedBytes recorded;
  recorded.line = line;
  size_t at = text.find_first_not_of(' ');
  const size_t timeEnd = text.find(' ', at);
  if (timeEnd == std::string_view::npos) Refuse(line, "a time, a direction and bytes expected");
  const std::string time(text.substr(at, timeEnd - at));
  char* end = nullptr;
  recorded.ms = std::strtod(time.c_str(), &end);
  // "nan", "inf" and times beyond the clock are numbers to strtod: an
  // answer planned that far ahead would overflow the clock.
  if (end != time.c_str() + time.size() || !(recorded.ms >= 0 && recorded.ms <= kLatestMs)) {
    Refuse(line, "a time in milliseconds expected");
  }
  at = text.find_first_not_of(' ', timeEnd);
  if (at == std::string_view::npos || (text[at] != '>' && text[at] != '<')) {
    Refuse(line, "'>' (to the reader) or '<' (to the host) expected");
  }
  recorded.toReader = text[at] == '>';
  ++at;
  if (at < text.size() && text[at] == '?') {
    recorded.isFrame = false;
    ++at;
  }
  for (size_t i = at; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    const int high = HexDigit(text[i]);
    const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0 || low < 0) Refuse(line, "bytes as pairs of hex digits expected");
    recorded.bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    i += 2;
  }
  if (recorded.bytes.empty()) Refuse(line, "no bytes");
  return recorded;
}

// The frame with another sequence number, its check byte changed with it:
// a check byte that was wrong stays as wrong.
std::vector<uint8_t> WithSequence(std::vector<uint8_t> frame, uint8_t sequence) {
  if (frame.size() <= kSequenceIndex + 1) return frame;
  frame.back() ^= frame[kSequenceIndex] ^ sequence;
  frame[kSequenceIndex] = sequence;
  return frame;
}

// An answer's number for the command numbered `now` that the record
// numbered `was`: as far on from the command's as recorded, so that a
// wrong number stays wrong by as much.
uint8_t Renumbered(uint8_t answer, uint8_t was, uint8_t now) {
  if (answer >= kSequenceModulus || was >= kSequenceModulus || now >= kSequenceModulus) {
    return answer == was ? now : answer;
  }
  return static_cast<uint8_t>((answer + kSequenceModulus - was + now) % kSequenceModulus);
}

}  // namespace

std::vector<RecordedBytes> ParseSessionRecord(std::string_view text) {
  std::vector<RecordedBytes> record;
  std::istringstream lines{std::string(text)};
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] == '#') continue;
    record.push_back(ParseLine(line, number));
  }
  return record;
}

SessionReplay::SessionReplay(std::vector<RecordedBytes> record, std::function<void()> onDifference,
                             Sequence sequence)
    : record_(std::move(record)), onDifference_(std::move(onDifference)), sequence_(sequence) {
  for (size_t i = 0; i < record_.size(); ++i) {
    // The reader drops what is no frame; only frames are commands.
    if (record_[i].toReader && record_[i].isFrame) commands_.push_back(i);
  }
}

std::vector<AnswerChunk> SessionReplay::Answer(const ReceivedFrame& frame, std::chrono::nanoseconds lineTime) {
  std::lock_guard lock(mutex_);
  if (difference_) return {};
  const size_t number = next_ + 1;
  // With any sequence number, the recorded command as if numbered as this one.
  const bool renumber = sequence_ == Sequence::kAny && frame.bytes.size() > kSequenceIndex + 1;
  if (next_ == commands_.size()) {
    difference_ = Difference{number, 0, "the end of the record", HexText(frame.bytes)};
  } else if (const RecordedBytes& expected = record_[commands_[next_]];
             (renumber ? WithSequence(expected.bytes, frame.sequence()) : expected.bytes) != frame.bytes) {
    difference_ = Difference{number, expected.line, HexText(expected.bytes), HexText(frame.bytes)};
  }
  if (difference_) {
    if (onDifference_) onDifference_();
    return {};
  }
  const size_t command = commands_[next_++];
  const size_t end = next_ < commands_.size() ? commands_[next_] : record_.size();
  const std::chrono::steady_clock::time_point sent = frame.at - lineTime;
  std::vector<AnswerChunk> answers;
  for (size_t i = command + 1; i < end; ++i) {
    if (record_[i].toReader) continue;
    const auto after = std::chrono::duration<double, std::milli>(std::max(0.0, record_[i].ms - record_[command].ms));
    AnswerChunk chunk;
    chunk.bytes = record_[i].bytes;
    // Noise is no frame to renumber.
    if (renumber && record_[i].isFrame && chunk.bytes.size() > kSequenceIndex + 1) {
      const uint8_t sequence =
          Renumbered(chunk.bytes[kSequenceIndex], record_[command].bytes[kSequenceIndex], frame.sequence());
      chunk.bytes = WithSequence(std::move(chunk.bytes), sequence);
    }
    chunk.notBefore = sent + std::chrono::duration_cast<std::chrono::nanoseconds>(after);
    answers.push_back(std::move(chunk));
  }
  return answers;
}

std::optional<SessionReplay::Difference> SessionReplay::FirstDifference() const {
  std::lock_guard lock(mutex_);
  return difference_;
}

std::optional<SessionReplay::Difference> SessionReplay::DifferenceAtEnd() const {
  std::lock_guard lock(mutex_);
  if (difference_ || next_ == commands_.size()) return difference_;
  const RecordedBytes& expected = record_[commands_[next_]];
  return Difference{next_ + 1, expected.line, HexText(expected.bytes), "nothing"};
}

size_t SessionReplay::RecordedCommands() const { return commands_.size(); }

}  // namespace vqsim
