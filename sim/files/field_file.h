#pragma once
// The cards in the virtual reader's field and the card in its PSAM slot,
// from a JSON description (the format: sim/examples/README.md). Belongs to
// the programs (vqhw-sim, vqhw --sim); the vqhw_sim library stays free of
// any JSON dependency.

#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/reader/reader_model.h"

namespace vqsim {

// Says what is wrong and where, e.g. "cards[0].blocks.4: 16 bytes of hex expected",
// or "not valid JSON at line 3, column 7: ...".
class FieldFileError : public std::runtime_error {
 public:
  enum class Kind { kMalformed, kUnreadable, kUnwritable };
  explicit FieldFileError(const std::string& what, Kind kind = Kind::kMalformed)
      : std::runtime_error(what), kind_(kind) {}
  Kind FileKind() const { return kind_; }

 private:
  Kind kind_;
};

// The one default field of `vqhw --sim` and a bare `vqhw-sim`: a MIFARE ONE
// card fresh from the factory (serial A1B2C3D4), or on request the CPU card
// with its purse of 100.00, and the PSAM; as a description.
enum class DefaultCard { kMifareOne, kCpu };
std::string DefaultField(DefaultCard card);

// Replaces the reader's field and PSAM with the description's; its
// "timing", when there, names the profile (else the reader's own stays) and
// overrides the times of single commands. Nothing changes when the
// description is refused.
void LoadField(std::string_view jsonText, VirtualReader& reader);
// The file's text, loaded; returns the description loaded. Unreadable:
// kUnreadable. For one of several readers (`index` of `readers`), the
// file may instead name the field of each: {"readers": [FIELD, ...]}, one
// for every reader, in the order of their lines; the reader loads its own.
std::string LoadFieldFile(const std::string& path, VirtualReader& reader, size_t index = 0, size_t readers = 1);

// The description of the field as it is now: the cards in the field, in
// their order, each with its description in `loaded` (the description the
// field came from; found by its kind and serial, as cards come and go) or,
// for a card that came later, its kind and serial; with every block of each
// MIFARE ONE card, and each CPU card's balance, purchase and load counters,
// blocked application, issuer and cardholder files and transaction records,
// read from the reader. The CPU card's keys and PIN and the PSAM stay as
// described; a PSAM taken out is saved as none. `loaded` may be empty (a
// scenario's field).
std::string FieldState(std::string_view loaded, VirtualReader& reader);
// Writes FieldState to the file through a temporary one beside it, so a
// failed write never leaves half a file; kUnwritable when it cannot.
void SaveFieldState(const std::string& path, std::string_view loaded, VirtualReader& reader);

}  // namespace vqsim
