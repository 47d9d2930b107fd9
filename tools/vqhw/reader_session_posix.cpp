#include "vqhw/reader_session.h"

#include <cstdlib>

#include "sim/field_file.h"
#include "sim/mifare_classic.h"
#include "sim/psam.h"
#include "sim/pty_host.h"
#include "sim/reader_model.h"
#include "vqhw/port_relay.h"

namespace vqtool {

struct ReaderSession::Line {
  std::unique_ptr<vqsim::VirtualReader> reader;
  std::unique_ptr<vqsim::PtyHost> host;
  std::unique_ptr<PortRelay> relay;
};

namespace {

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

void PointPortAt(int port, const std::string& path) { ::setenv(PortVariable(port).c_str(), path.c_str(), 1); }

// Without a field file: one MIFARE ONE card fresh from the factory, and a PSAM.
void SetUpDefaultField(vqsim::VirtualReader& reader) {
  reader.InsertCard(std::make_shared<vqsim::MifareClassic>(std::array<uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
  reader.WithState([](vqsim::ReaderState& state) { state.psam = std::make_shared<vqsim::Psam>(); });
}

}  // namespace

std::string ReaderSession::DefaultDevice(int port) {
  if (const char* named = std::getenv(PortVariable(port).c_str())) return named;
  return "/dev/ttyS" + std::to_string(port - 1);
}

std::string ReaderSession::Inapplicable(const SessionOptions& /*options*/) { return {}; }

const char* ReaderSession::TraceDescription() {
  return "run any command with every frame on the line shown (for a real port through a relay)";
}

const char* ReaderSession::PlatformNote() { return ""; }

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace)
    : options_(options), line_(std::make_unique<Line>()) {
  if (options_.simulate) {
    line_->reader = std::make_unique<vqsim::VirtualReader>();
    line_->reader->LimitHistory(1000);  // nobody reads the history here
    line_->reader->SetTiming(options_.timing == "instant" ? vqsim::TimingProfile::Instant()
                                                          : vqsim::TimingProfile::Real());
    if (options_.fieldFile.empty()) {
      SetUpDefaultField(*line_->reader);
    } else {
      vqsim::LoadFieldFile(options_.fieldFile, *line_->reader);
    }
    vqsim::PtyHost::TrafficLog log;
    if (trace != nullptr) {
      log = [trace](vqsim::PtyHost::Direction direction, std::span<const uint8_t> bytes) {
        trace->Observe(direction == vqsim::PtyHost::Direction::kFromHost ? LineDirection::kToReader
                                                                         : LineDirection::kToHost,
                       bytes);
      };
    }
    line_->host = std::make_unique<vqsim::PtyHost>(*line_->reader, std::move(log));
    PointPortAt(options_.port, line_->host->SlavePath());
    return;
  }
  const std::string device = options_.device.empty() ? DefaultDevice(options_.port) : options_.device;
  if (trace != nullptr) {
    line_->relay = std::make_unique<PortRelay>(
        device, [trace](LineDirection direction, std::span<const uint8_t> bytes) { trace->Observe(direction, bytes); });
    PointPortAt(options_.port, line_->relay->SlavePath());
  } else if (!options_.device.empty()) {
    PointPortAt(options_.port, options_.device);
  }
}

ReaderSession::~ReaderSession() = default;

bool ReaderSession::Simulated() const { return line_->host != nullptr; }

}  // namespace vqtool
