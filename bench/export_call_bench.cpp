// What the process-wide export lock costs a caller that is alone: the guard
// every export takes, and a whole export that does little else
// (getvqicerror), next to the same work without the guard.
//
//   export_call_bench [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <cstring>

#include "VqhwLib.h"
#include "api/export_call.h"
#include "api/library_state.h"
#include "protocol/status_tables.h"

namespace {

void ExportCallAlone(benchmark::State& state) {
  for (auto _ : state) {
    const vqhw::ExportCall call;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(ExportCallAlone);

void MessageWithoutTheGuard(benchmark::State& state) {
  char text[VQHW_MESSAGE_SIZE];
  for (auto _ : state) {
    const vqhw::LibraryState& library = vqhw::Library();
    std::strcpy(text, vqhw::StatusText(library.lastStatus, library.device.cardKind.CardKindSetting()));
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(MessageWithoutTheGuard);

void GetvqicerrorExport(benchmark::State& state) {
  char text[VQHW_MESSAGE_SIZE];
  for (auto _ : state) {
    getvqicerror(text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(GetvqicerrorExport);

}  // namespace
