// The in-memory backend of SerialPort: a write hands the frame to the
// test's answerer and queues its answer, which WaitAndRead gives the
// receive worker. Every device name opens; nothing is exclusive.

#include "memory_port.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

#include "serial/serial_port.h"

namespace vqhw {

namespace {

std::mutex answererLock;
memory_port::Answerer currentAnswerer;

std::vector<uint8_t> AnswerTo(std::span<const uint8_t> written) {
  std::lock_guard lock(answererLock);
  return currentAnswerer ? currentAnswerer(written) : std::vector<uint8_t>{};
}

}  // namespace

void memory_port::SetAnswerer(Answerer answerer) {
  std::lock_guard lock(answererLock);
  currentAnswerer = std::move(answerer);
}

bool FormatPortName(int32_t portNumber, char* name, size_t size) {
  const int n = std::snprintf(name, size, "memory%d", static_cast<int>(portNumber));
  return n > 0 && static_cast<size_t>(n) < size;
}

struct SerialPort::Handles {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<uint8_t> input;
  bool open = false;
  bool stopped = false;
};

SerialPort::SerialPort() : handles_(std::make_unique<Handles>()) {}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::IsOpen() const {
  std::lock_guard lock(handles_->lock);
  return handles_->open;
}

ReaderStatus SerialPort::Open(const char*, const LineSettings&) {
  std::lock_guard lock(handles_->lock);
  handles_->open = true;
  handles_->stopped = false;
  handles_->input.clear();
  return status::kOk;
}

ReaderStatus SerialPort::Apply(const LineSettings&) { return status::kOk; }

ReaderStatus SerialPort::Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds) {
  const std::vector<uint8_t> answer = AnswerTo({bytes, count});
  std::lock_guard lock(handles_->lock);
  handles_->input.insert(handles_->input.end(), answer.begin(), answer.end());
  handles_->changed.notify_all();
  return status::kOk;
}

void SerialPort::Purge() {
  std::lock_guard lock(handles_->lock);
  handles_->input.clear();
}

size_t SerialPort::WaitAndRead(uint8_t* buffer, size_t capacity) {
  std::unique_lock lock(handles_->lock);
  handles_->changed.wait(lock, [&] { return handles_->stopped || !handles_->input.empty(); });
  if (handles_->stopped) return 0;
  const size_t count = std::min(capacity, handles_->input.size());
  std::copy_n(handles_->input.begin(), count, buffer);
  handles_->input.erase(handles_->input.begin(), handles_->input.begin() + static_cast<long>(count));
  return count;
}

void SerialPort::StopWaiting() {
  std::lock_guard lock(handles_->lock);
  handles_->stopped = true;
  handles_->changed.notify_all();
}

// Nothing is inherited from a parent here: the fuzzer never forks.
void SerialPort::Abandon() { handles_->open = false; }

void SerialPort::Close() {
  std::lock_guard lock(handles_->lock);
  handles_->open = false;
  handles_->input.clear();
}

}  // namespace vqhw
