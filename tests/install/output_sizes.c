/* Every output buffer of the installed library receives no more bytes than
 * the header's VQHW_..._SIZE macros promise, and exactly as many where the
 * header says so: a caller who sizes a buffer by the header must never see
 * it overrun. Each buffer is filled with a marker byte first; what the call
 * changed is what it wrote. Runs against vqhw-sim with the lane field file
 * (a MIFARE ONE card, key A A0..A5 for sectors 1 and 2) on COM1. Written in
 * C89, so that it also shows the header to be C89.
 * Usage: output_sizes             a reader on COM1
 *        output_sizes no-reader   no reader on COM1 or COM2
 * Prints one line per failed check and exits 1 after any. */
#include <stdio.h>
#include <string.h>

#include <VqhwLib.h>

#define MARKER 0xEE

static unsigned char buffer[1024];
static int failures = 0;

static unsigned char *fresh(void) {
  memset(buffer, MARKER, sizeof buffer);
  return buffer;
}

/* How many bytes the last call wrote: up to the last byte it changed. */
static size_t written(void) {
  size_t n = sizeof buffer;
  while (n > 0 && buffer[n - 1] == MARKER) --n;
  return n;
}

static void expect(int ok, const char *what, long got, long wanted) {
  if (!ok) {
    printf("%s: got %ld, expected %ld\n", what, got, wanted);
    ++failures;
  }
}

/* A text output: zero-terminated at its last byte, at most `size` bytes. */
static void text_within(const char *call, size_t size) {
  size_t n = written();
  expect(n <= size, call, (long)n, (long)size);
  expect(n > 0 && buffer[n - 1] == '\0' && strlen((char *)buffer) == n - 1, call, (long)n,
         (long)strlen((char *)buffer) + 1);
}

static void exactly(const char *call, size_t size) {
  expect(written() == size, call, (long)written(), (long)size);
}

static void ok(const char *call, int32_t result) { expect(result == VQHW_OK, call, result, VQHW_OK); }

static void without_reader(void) {
  ok("getreaderinfo", getreaderinfo((char *)fresh()));
  /* The "no reader on COM1 or COM2" text: 24 bytes and the zero. */
  text_within("getreaderinfo without a reader", VQHW_READER_INFO_SIZE);
  exactly("getreaderinfo without a reader", 25);
}

static void with_reader(void) {
  static const unsigned char keyA[VQHW_KEY_SIZE] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  static const unsigned char three[3] = {0x00, 0xAB, 0x5F};
  char longText[300];
  char statusWord[VQHW_STATUS_WORD_TEXT_SIZE];
  int32_t count;

  ok("getvqicerror", getvqicerror((char *)fresh()));
  text_within("getvqicerror", VQHW_MESSAGE_SIZE);
  ok("open_reader", open_reader(1, 0));
  ok("getreaderinfo", getreaderinfo((char *)fresh()));
  text_within("getreaderinfo", VQHW_READER_INFO_SIZE);

  ok("opencard", opencard(fresh()));
  exactly("opencard", VQHW_CARD_RECORD_SIZE);
  ok("opencard_h", opencard_h((char *)fresh()));
  text_within("opencard_h", VQHW_CARD_TEXT_SIZE);
  exactly("opencard_h", VQHW_CARD_TEXT_SIZE);

  ok("loadkey", loadkey(0, 1, keyA));
  ok("readblock", readblock(0, 4, fresh()));
  exactly("readblock", VQHW_BLOCK_SIZE);
  ok("readblock_h", readblock_h(0, 4, (char *)fresh()));
  exactly("readblock_h", VQHW_BLOCK_TEXT_SIZE);
  text_within("readblock_h", VQHW_BLOCK_TEXT_SIZE);

  ok("readfile", readfile("0001", "10", 0, VQHW_FILE_SIZE, fresh()));
  exactly("readfile of 48 bytes", VQHW_FILE_SIZE);
  ok("readfile", readfile("0001", "10", 0, 1, fresh()));
  exactly("readfile of 1 byte (4 cleared)", 4);
  ok("readfile_h", readfile_h("0001", "10", 0, VQHW_FILE_SIZE, (char *)fresh()));
  exactly("readfile_h of 48 bytes", VQHW_FILE_TEXT_SIZE);
  text_within("readfile_h", VQHW_FILE_TEXT_SIZE);

  /* The PSAM's terminal number: 6 bytes and 90 00. */
  ok("sam_command_h", sam_command_h("00B0960006", (char *)fresh()));
  exactly("sam_command_h", 2 * 8 + 1);
  ok("SAM_COMMAND_H", SAM_COMMAND_H("00B0960006", (char *)fresh(), statusWord));
  exactly("SAM_COMMAND_H data", 2 * 6 + 1);
  memset(buffer, MARKER, sizeof buffer);
  ok("SAM_COMMAND_H", SAM_COMMAND_H("00B0960006", longText, (char *)buffer));
  exactly("SAM_COMMAND_H status word", VQHW_STATUS_WORD_TEXT_SIZE);

  /* -27 with the setting '1' has the longest message. */
  ok("SelectCardType", SelectCardType('1'));
  expect(readfile("0001", "10", 0, 4, fresh()) == VQHW_CARD_KIND, "readfile, CPU cards only", 0, VQHW_CARD_KIND);
  ok("getvqicerror", getvqicerror((char *)fresh()));
  exactly("getvqicerror of -27", VQHW_MESSAGE_SIZE);
  ok("SelectCardType", SelectCardType('2'));
  ok("closecard", closecard());
  ok("close_reader", close_reader());

  memset(longText, 'A', sizeof longText - 1);
  longText[sizeof longText - 1] = '\0';
  expect(hextobin(longText, fresh(), &count) == 127, "hextobin of 299 digits", count, 127);
  exactly("hextobin of 299 digits", VQHW_DECODED_SIZE);
  ok("hextoascii", hextoascii(longText, fresh()));
  exactly("hextoascii of 299 digits", VQHW_DECODED_SIZE);
  ok("asciitohex", asciitohex(three, 3, (char *)fresh()));
  exactly("asciitohex of 3 bytes", 7);
  ok("longtoascii", longtoascii(-1, fresh()));
  exactly("longtoascii", 4);

  ok("get_time", get_time((char *)fresh()));
  text_within("get_time", VQHW_DATE_TIME_SIZE);
  ok("ltimetostime", ltimetostime(-1, (char *)fresh()));
  text_within("ltimetostime(-1)", VQHW_DATE_TIME_SIZE);
  ok("ltimetostime", ltimetostime(0x7FFFFFFF, (char *)fresh()));
  text_within("ltimetostime(2^31 - 1)", VQHW_DATE_TIME_SIZE);
}

int main(int argc, char **argv) {
  if (argc > 1 && strcmp(argv[1], "no-reader") == 0) {
    without_reader();
  } else {
    with_reader();
  }
  printf("output sizes: %s\n", failures == 0 ? "all within the header's sizes" : "FAILED");
  return failures == 0 ? 0 : 1;
}
