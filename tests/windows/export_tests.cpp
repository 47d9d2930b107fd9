// Every export of the list is there by its plain name, nothing else is
// exported, and each removes exactly the arguments the list gives it.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "export_call.h"
#include "harness.h"
#include "library.h"
#include "test_cases.h"

namespace wintest {

namespace {

struct ExportEntry {
  const char* name;
  size_t argumentCount;   // in the export list
  const char* parameters; // in the public header: 'p' pointer, 'i' integer; null if undeclared
};

constexpr ExportEntry kExports[] = {
#include "export_table.inc"
};

// The names in the DLL's export directory.
std::set<std::string> ExportedNames(HMODULE module) {
  auto* base = reinterpret_cast<const uint8_t*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::set<std::string> names;
  if (entry.VirtualAddress == 0) return names;
  auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  auto* nameOffsets = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
    names.insert(reinterpret_cast<const char*>(base + nameOffsets[i]));
  }
  return names;
}

}  // namespace

void ExportsAreExactlyTheListAndRemoveTheirArguments(const Setup& /*setup*/) {
  Library library;
  WT_CHECK(library.Loaded());
  if (!library.Loaded()) return;

  std::set<std::string> listed;
  for (const ExportEntry& e : kExports) listed.insert(e.name);
  const std::set<std::string> exported = ExportedNames(library.Module());
  for (const std::string& name : exported) {
    if (listed.count(name) == 0) Fail(__FILE__, __LINE__, "exported but not in the list: " + name);
  }

  // Harmless arguments: 0 for integers (port 0 does not exist, lengths are
  // empty) and a zeroed buffer of its own for every pointer.
  std::vector<std::vector<uint8_t>> buffers(kMaxExportArguments, std::vector<uint8_t>(4096));
  for (const ExportEntry& e : kExports) {
    const std::string name = e.name;
    if (exported.count(name) == 0) Fail(__FILE__, __LINE__, "not exported by its plain name: " + name);
    const FARPROC function = library.Find(e.name);
    if (function == nullptr) continue;
#if defined(__i386__)
    const std::string decorated = name + "@" + std::to_string(4 * e.argumentCount);
    if (library.Find(decorated.c_str()) != nullptr) {
      Fail(__FILE__, __LINE__, "decorated name exported: " + decorated);
    }
#endif
    if (e.parameters == nullptr) {
      Fail(__FILE__, __LINE__, name + " is not declared in VqhwLib.h");
      continue;
    }
    if (std::strlen(e.parameters) != e.argumentCount) {
      Fail(__FILE__, __LINE__, name + ": the header declares " + std::to_string(std::strlen(e.parameters)) +
                                   " parameters, the list " + std::to_string(e.argumentCount));
      continue;
    }
    uintptr_t arguments[kMaxExportArguments] = {};
    for (size_t i = 0; i < e.argumentCount; ++i) {
      std::fill(buffers[i].begin(), buffers[i].end(), 0);
      if (e.parameters[i] == 'p') arguments[i] = reinterpret_cast<uintptr_t>(buffers[i].data());
    }
    const ExportCall call =
        CallExport(reinterpret_cast<const void*>(function), arguments, e.argumentCount);
    if (call.stackShift != 0) {
      Fail(__FILE__, __LINE__, name + " moved the stack pointer by " + std::to_string(call.stackShift) +
                                   " bytes: it does not remove its " +
                                   std::to_string(e.argumentCount) + " arguments");
    }
  }
  VQHW_EXPORT(library, close_reader)();
  std::printf("  %zu exports called\n", sizeof kExports / sizeof kExports[0]);
}

}  // namespace wintest
