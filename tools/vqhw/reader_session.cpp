#include "vqhw/reader_session.h"

#include <cstdio>
#include <cstdlib>

#include "vqhw/text.h"

namespace vqtool {

namespace {

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

}  // namespace

ReaderSession::ReaderSession(const SessionOptions& options)
    : options_(options), start_(std::chrono::steady_clock::now()) {
  if (options_.simulate) {
    reader_ = std::make_unique<vqsim::VirtualReader>();
    reader_->LimitHistory(1000);
    vqsim::PtyHost::TrafficLog log;
    if (options_.traceFrames) {
      log = [this](vqsim::PtyHost::Direction direction, std::span<const uint8_t> bytes) {
        const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_);
        std::printf("  %9.1f ms  %s  %s\n", ms.count(),
                    direction == vqsim::PtyHost::Direction::kFromHost ? "host -> reader" : "reader -> host",
                    Hex(bytes).c_str());
      };
    }
    host_ = std::make_unique<vqsim::PtyHost>(*reader_, std::move(log));
    ::setenv(PortVariable(options_.port).c_str(), host_->SlavePath().c_str(), 1);
  } else if (!options_.device.empty()) {
    ::setenv(PortVariable(options_.port).c_str(), options_.device.c_str(), 1);
  }
}

ReaderSession::~ReaderSession() = default;

}  // namespace vqtool
