#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "sim/commands/command_table.h"

namespace vqsim {

// A piece of the reader's output: not before `notBefore` (when the card is
// done), wait `pauseBefore`, then write `bytes`, each taking `byteTime` on
// the line (0: all at once).
struct AnswerChunk {
  std::chrono::milliseconds pauseBefore{0};
  std::vector<uint8_t> bytes;
  std::chrono::steady_clock::time_point notBefore{};
  std::chrono::nanoseconds byteTime{0};
};

// The faults planned for the answer to one command frame.
struct FrameFaults {
  struct Split {
    size_t chunkSize;
    std::chrono::milliseconds pause;
  };

  bool silent = false;
  bool wrongSequence = false;
  std::optional<std::chrono::milliseconds> delay;
  std::optional<std::vector<uint8_t>> garbage;
  std::optional<Split> split;
  std::optional<uint8_t> announcedLength;
  std::optional<uint8_t> status;  // replaces the command's own outcome
  std::optional<size_t> keptData;     // the answer carries only this many data bytes
  std::optional<size_t> spoiltByte;   // offset in the frame of a byte the line spoils

  // Adds the faults of `other`; a fault set in both takes its setting there.
  void Add(const FrameFaults& other);

  // The bytes the reader puts on the line for `reply`: nothing when silent;
  // otherwise the garbage, then the answer frame, cut into chunks when split.
  std::vector<AnswerChunk> Shape(uint8_t sequence, const Reply& reply) const;
};

// Misbehaviour planned for the coming command frames. Each fault applies to
// the next `commands` command frames received (StatusFor: to the next ones
// with its command code); a negative count keeps it until Clear, 0 removes
// it. Setting a fault again replaces its earlier setting. Faults of
// different kinds combine. Every method is thread-safe.
class FaultPlan {
 public:
  void StaySilent(int commands);
  void WrongSequence(int commands);
  void AnswerLate(std::chrono::milliseconds delay, int commands = 1);
  void GarbageBefore(std::vector<uint8_t> bytes, int commands = 1);
  void SplitAnswer(size_t chunkSize, std::chrono::milliseconds pause, int commands = 1);
  void AnnounceLength(uint8_t length, int commands = 1);
  void StatusFor(uint8_t command, uint8_t statusByte, int commands = -1);
  // The answer (status and length byte kept true) carries only the first
  // `kept` data bytes of the command's own.
  void CutData(size_t kept, int commands = 1);
  // The line flips the low bit of the answer frame's byte at `offset` (past
  // the end: its check byte), after the check byte was computed.
  void SpoilByte(size_t offset, int commands = 1);
  void Clear();

  // Takes the faults for a command frame that has just arrived, using up one
  // of each planned fault's commands.
  FrameFaults TakeFor(uint8_t command);

  // A fault armed now: its kind as `fault` requests name it, its setting
  // (empty, "300 ms", "00 13", "status 0x01 for command 0x51"), and the
  // commands it has left (negative: until cleared).
  struct Armed {
    std::string kind;
    std::string setting;
    int commands = 0;
  };
  std::vector<Armed> Describe() const;

 private:
  // A fault's setting with the number of commands it has left.
  template <typename T>
  struct Planned {
    int remaining = 0;  // negative: until Clear
    T value{};

    void Set(T newValue, int commands) {
      value = std::move(newValue);
      remaining = commands;
    }
    std::optional<T> Take() {
      if (remaining == 0) return std::nullopt;
      if (remaining > 0) --remaining;
      return value;
    }
  };
  struct Nothing {};

  mutable std::mutex mutex_;
  Planned<Nothing> silent_;
  Planned<Nothing> wrongSequence_;
  Planned<std::chrono::milliseconds> late_;
  Planned<std::vector<uint8_t>> garbage_;
  Planned<FrameFaults::Split> split_;
  Planned<uint8_t> announcedLength_;
  Planned<size_t> keptData_;
  Planned<size_t> spoiltByte_;
  std::map<uint8_t, Planned<uint8_t>> statusFor_;
};

}  // namespace vqsim
