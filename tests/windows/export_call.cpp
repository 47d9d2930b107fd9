#include "export_call.h"

#include <array>
#include <utility>

namespace wintest {

#if defined(__i386__)

// Pushes the arguments right to left onto a 16-byte aligned stack, calls,
// and measures where the stack pointer is afterwards, then puts it back.
extern "C" int32_t __cdecl wintest_call_counted(const void* function, const uintptr_t* arguments,
                                                size_t count, intptr_t* stackShift);
asm(R"(
    .text
    .globl _wintest_call_counted
_wintest_call_counted:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
    leal  (,%ecx,4), %eax
    movl  %esp, %edx
    subl  %eax, %edx
    andl  $-16, %edx
    addl  %eax, %edx
    movl  %edx, %esp
    movl  %esp, %ebx
1:  testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:  call  *8(%ebp)
    movl  %esp, %ecx
    subl  %ebx, %ecx
    movl  20(%ebp), %edx
    movl  %ecx, (%edx)
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

ExportCall CallExport(const void* function, const uintptr_t* arguments, size_t count) {
  ExportCall call{};
  call.result = wintest_call_counted(function, arguments, count, &call.stackShift);
  return call;
}

#else

template <size_t>
using Word = uintptr_t;

template <size_t... I>
int32_t CallWith(const void* function, [[maybe_unused]] const uintptr_t* arguments,
                 std::index_sequence<I...>) {
  using Signature = int32_t (*)(Word<I>...);
  auto typed = reinterpret_cast<Signature>(reinterpret_cast<void (*)()>(const_cast<void*>(function)));
  return typed(arguments[I]...);
}

template <size_t... Count>
constexpr auto MakeCallers(std::index_sequence<Count...>) {
  using Caller = int32_t (*)(const void*, const uintptr_t*);
  return std::array<Caller, sizeof...(Count)>{
      [](const void* f, const uintptr_t* a) { return CallWith(f, a, std::make_index_sequence<Count>{}); }...};
}

ExportCall CallExport(const void* function, const uintptr_t* arguments, size_t count) {
  static constexpr auto kCallers = MakeCallers(std::make_index_sequence<kMaxExportArguments + 1>{});
  return ExportCall{kCallers.at(count)(function, arguments), 0};
}

#endif

}  // namespace wintest
