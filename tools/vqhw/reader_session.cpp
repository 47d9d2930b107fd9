#include "vqhw/reader_session.h"

#include <cstdlib>

#include "sim/field_file.h"
#include "sim/mifare_classic.h"
#include "sim/psam.h"

namespace vqtool {

namespace {

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

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

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace) : options_(options) {
  if (options_.simulate) {
    reader_ = std::make_unique<vqsim::VirtualReader>();
    reader_->LimitHistory(1000);  // nobody reads the history here
    reader_->SetTiming(options_.timing == "real" ? vqsim::TimingProfile::Real() : vqsim::TimingProfile::Instant());
    if (options_.fieldFile.empty()) {
      SetUpDefaultField(*reader_);
    } else {
      vqsim::LoadFieldFile(options_.fieldFile, *reader_);
    }
    vqsim::PtyHost::TrafficLog log;
    if (trace != nullptr) {
      log = [trace](vqsim::PtyHost::Direction direction, std::span<const uint8_t> bytes) {
        trace->Observe(direction == vqsim::PtyHost::Direction::kFromHost ? LineDirection::kToReader
                                                                         : LineDirection::kToHost,
                       bytes);
      };
    }
    host_ = std::make_unique<vqsim::PtyHost>(*reader_, std::move(log));
    PointPortAt(host_->SlavePath());
    return;
  }
  const std::string device = options_.device.empty() ? DefaultDevice(options_.port) : options_.device;
  if (trace != nullptr) {
    relay_ = std::make_unique<PortRelay>(
        device, [trace](LineDirection direction, std::span<const uint8_t> bytes) { trace->Observe(direction, bytes); });
    PointPortAt(relay_->SlavePath());
  } else if (!options_.device.empty()) {
    PointPortAt(options_.device);
  }
}

ReaderSession::~ReaderSession() = default;

void ReaderSession::PointPortAt(const std::string& path) const {
  ::setenv(PortVariable(options_.port).c_str(), path.c_str(), 1);
}

}  // namespace vqtool
