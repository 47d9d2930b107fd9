#pragma once
// Calls an export found by name with a given number of 32-bit arguments,
// the way a caller that knows only the name and the count does.

#include <cstddef>
#include <cstdint>

namespace wintest {

struct ExportCall {
  int32_t result;
  // How far the stack pointer moved across the call: 0 when the callee
  // removed exactly its arguments (__stdcall). Always 0 on x86-64, which
  // has one calling convention.
  intptr_t stackShift;
};

constexpr size_t kMaxExportArguments = 8;

ExportCall CallExport(const void* function, const uintptr_t* arguments, size_t count);

}  // namespace wintest
