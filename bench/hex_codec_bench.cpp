// Decoding and encoding the longest hex text one conversion of the reader
// protocol carries: 127 bytes, 254 digits.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

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
  vqhw::BytesToHex(bytes.data(), text.data(), kBytes);
  std::array<uint8_t, kBytes + 1> decoded{};
  int32_t count = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vqhw::HexToBytes(text.data(), decoded.data(), &count));
    benchmark::ClobberMemory();
  }
  if (count != kBytes) state.SkipWithError("decoded the wrong number of bytes");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(HexToBytes127);

void BytesToHex127(benchmark::State& state) {
  const auto bytes = SampleBytes();
  std::array<char, 2 * kBytes + 1> text{};
  for (auto _ : state) {
    vqhw::BytesToHex(bytes.data(), text.data(), kBytes);
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BytesToHex127);

}  // namespace
