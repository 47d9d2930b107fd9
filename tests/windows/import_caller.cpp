// Linked against the import library, as a caller compiled with the public
// header is: every name it uses must resolve when Windows loads it.

#include <cstdio>
#include <cstring>

#include "VqhwLib.h"

int main() {
  char text[64] = {};
  int failures = 0;
  if (getvqicerror(text) != 0 || std::strlen(text) == 0) ++failures;  // the text of status 0
  if (close_reader() != -1) ++failures;                              // closed: -1
  if (open_reader(0, 0) != -1) ++failures;                           // no port 0
  if (changebaudrate(9600) != 0 || selectadf() != 0 || enterdebug(1, 2) != 0 || close_pro() != 0) {
    ++failures;
  }
  std::printf("import library caller: %s\n", failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
