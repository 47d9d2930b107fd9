// The virtual reader's field file loader on any text: it either loads or
// refuses with a FieldFileError (any other exception escapes and is a
// finding), and a refused text leaves the reader's field and PSAM as they were.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "sim/files/field_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vqsim::VirtualReader reader;
  vqsim::LoadField(R"({"cards": [{"kind": "mifare-one"}]})", reader);
  const void* cardBefore = nullptr;
  const void* psamBefore = nullptr;
  reader.WithState([&](vqsim::ReaderState& state) {
    cardBefore = state.field.Cards().front().get();
    psamBefore = state.psam.get();
  });
  try {
    vqsim::LoadField(std::string_view(reinterpret_cast<const char*>(data), size), reader);
  } catch (const vqsim::FieldFileError&) {
    reader.WithState([&](vqsim::ReaderState& state) {
      FUZZ_CHECK(state.field.Cards().size() == 1);
      FUZZ_CHECK(state.field.Cards().front().get() == cardBefore);
      FUZZ_CHECK(state.psam.get() == psamBefore);
    });
  }
  return 0;
}
