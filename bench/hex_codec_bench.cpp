// Decoding and encoding the longest hex text one conversion of the reader
// protocol carries: 127 bytes, 254 digits.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "api/library_state.h"
#include "util/hex_codec.h"

namespace {

constexpr int32_t kBytes = vqhw::kMaxDecodedBytes;

std::array<uint8_t, kBytes> SampleBytes() {
  std::array<uint8_t, kBytes> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  return bytes;
}

void HexToBytes127(benchmark::State& state) {
  const auto bytes = SampleBytes();
  std::array<char, 2 * kBytes + 1> text{};
  vqhw::EncodeHex(bytes.data(), kBytes, text.data());
  std::array<uint8_t, kBytes + 1> decoded{};
  int32_t count = 0;
  const vqhw::ReaderDevice& device = vqhw::Library().device;
  for (auto _ : state) {
    benchmark::DoNotOptimize(device.HexToBytes(text.data(), decoded.data(), &count));
    benchmark::ClobberMemory();
  }
  if (count != kBytes) state.SkipWithError("decoded the wrong number of bytes");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(HexToBytes127);

void BytesToHex127(benchmark::State& state) {
  const auto bytes = SampleBytes();
  std::array<char, 2 * kBytes + 1> text{};
  const vqhw::ReaderDevice& device = vqhw::Library().device;
  for (auto _ : state) {
    device.BytesToHex(bytes.data(), text.data(), kBytes);
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BytesToHex127);

}  // namespace
