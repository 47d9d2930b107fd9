// The in-memory serial device: a write hands the frame to the test's
// answerer and queues its answer, which WaitAndRead gives the receive
// worker. Every device name opens; nothing is exclusive.

#include "memory_port.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

#include "serial/ports/device_port.h"

namespace vqhw {

namespace {

std::mutex answererLock;
memory_port::Answerer currentAnswerer;

std::vector<uint8_t> AnswerTo(std::span<const uint8_t> written) {
  std::lock_guard lock(answererLock);
  return currentAnswerer ? currentAnswerer(written) : std::vector<uint8_t>{};
}

class MemoryPort final : public Port {
 public:
  ReaderStatus Apply(const LineSettings&) override { return status::kOk; }

  ReaderStatus Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds) override {
    const std::vector<uint8_t> answer = AnswerTo({bytes, count});
    std::lock_guard lock(lock_);
    input_.insert(input_.end(), answer.begin(), answer.end());
    changed_.notify_all();
    return status::kOk;
  }

  void Purge(PurgeOccasion) override {
    std::lock_guard lock(lock_);
    input_.clear();
  }

  size_t WaitAndRead(uint8_t* buffer, size_t capacity) override {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return stopped_ || !input_.empty(); });
    if (stopped_) return 0;
    const size_t count = std::min(capacity, input_.size());
    std::copy_n(input_.begin(), count, buffer);
    input_.erase(input_.begin(), input_.begin() + static_cast<long>(count));
    return count;
  }

  void StopWaiting() override {
    std::lock_guard lock(lock_);
    stopped_ = true;
    changed_.notify_all();
  }

  // Nothing is inherited from a parent here: the fuzzer never forks.
  void Abandon() override {}

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<uint8_t> input_;
  bool stopped_ = false;
};

}  // namespace

void memory_port::SetAnswerer(Answerer answerer) {
  std::lock_guard lock(answererLock);
  currentAnswerer = std::move(answerer);
}

bool FormatPortName(int32_t portNumber, char* name, size_t size) {
  const int n = std::snprintf(name, size, "memory%d", static_cast<int>(portNumber));
  return n > 0 && static_cast<size_t>(n) < size;
}

ReaderStatus OpenDevicePort(const char*, const LineSettings&, std::unique_ptr<Port>& port) {
  port = std::make_unique<MemoryPort>();
  return status::kOk;
}

}  // namespace vqhw
