#pragma once
// The reader's own commands that read and write no card data: the field
// and CPU-card resets, the operator display and sound, and the speed of the
// reader's second line. Each is one command on the link.

#include <cstdint>

#include "base/reader_status.h"
#include "protocol/reader_link.h"

namespace vqhw {

class ReaderControl {
 public:
  explicit ReaderControl(ReaderLink& readerLink) : link(readerLink) {}

  ReaderStatus ResetRfField();  // 0x72: every card in the field is deselected
  ReaderStatus ResetProCard();  // 0x76
  // 0x74: each value is 0, or 0x80 up to 0x82 (first) or 0x83 (second, third).
  ReaderStatus SetMmi(int32_t first, int32_t second, int32_t third);
  // 0x75: 9600 or 38400; kArgument1 for any other speed.
  ReaderStatus SetSecondLineSpeed(int32_t baud);

 private:
  ReaderLink& link;
};

}  // namespace vqhw
