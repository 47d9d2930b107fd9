/* A lane program as an integrator writes it against the installed library:
 * open the reader on COM1 (or the port number given as its argument), print
 * its information line, activate the card, authenticate sector 1 with key A
 * and read block 4. Prints one line per step; any failure prints its status
 * text and exits 1. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <VqhwLib.h>

static int fail(const char *step, int32_t result) {
  char text[64] = "";
  getvqicerror(text);
  printf("%s failed: %d (%s)\n", step, (int)result, text);
  close_reader();
  return 1;
}

int main(int argc, char **argv) {
  static const unsigned char keyA[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  char info[128] = "", card[16] = "", block[40] = "";
  const int32_t port = argc > 1 ? (int32_t)atoi(argv[1]) : 1;
  int32_t result;

  printf("library %s\n", VQHW_VERSION_STRING);
  if ((result = open_reader(port, 0)) != VQHW_OK) return fail("open_reader", result);
  getreaderinfo(info);
  printf("reader %s\n", info);
  if ((result = opencard_h(card)) != VQHW_OK) return fail("opencard_h", result);
  printf("card %s\n", card);
  if ((result = loadkey(0, 1, keyA)) != VQHW_OK) return fail("loadkey", result);
  if ((result = readblock_h(0, 4, block)) != VQHW_OK) return fail("readblock_h", result);
  printf("block 4 %s\n", block);
  if ((result = close_reader()) != VQHW_OK) return fail("close_reader", result);
  return 0;
}
