/* A lane program built as a Microsoft toolchain builds it: compiled for the
 * MSVC ABI against the public header and linked with the bundle's
 * VqhwLib.lib and nothing else, no C runtime. On x86 it refers to the
 * decorated __stdcall names (_open_reader@8), which the import library must
 * resolve to the DLL's plain names. Runs the lane's steps against the
 * reader with the lane field file on COM<LANE_PORT> and exits 0 when each
 * gives what that file holds, else with the number of the step that
 * failed. */
#include "VqhwLib.h"

#ifndef LANE_PORT
#error "LANE_PORT: the COM port of the virtual reader with the lane field file"
#endif

static int same(const char *a, const char *b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

/* Closes the reader, whose receive thread would keep the process alive. */
static int failed(int step) {
  close_reader();
  return step;
}

int lane_entry(void) {
  static const unsigned char keyA[VQHW_KEY_SIZE] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  char card[VQHW_CARD_TEXT_SIZE];
  char block[VQHW_BLOCK_TEXT_SIZE];
  char message[VQHW_MESSAGE_SIZE];

  if (open_reader(LANE_PORT, 0) != VQHW_OK) return failed(1);
  if (opencard_h(card) != VQHW_OK || !same(card, "3A5F0C2108")) return failed(2);
  if (loadkey(0, 1, keyA) != VQHW_OK) return failed(3);
  if (readblock_h(0, 4, block) != VQHW_OK || !same(block, "4C414E45303720454E54525920202020")) {
    return failed(4);
  }
  if (readblock_h(0, 64, block) != VQHW_FAILED) return failed(5);
  if (getvqicerror(message) != 0 || message[0] == '\0') return failed(6);
  if (close_reader() != VQHW_OK) return 7;
  return 0;
}
