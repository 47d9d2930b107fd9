// Writes the reference's page of status codes (Doxygen markdown) from the
// library's status table, so the texts exist in one place only: every code
// the table knows, its GBK text shown in UTF-8, and what it means.
// Usage: vqhw_status_page OUTPUT.md

#include <cstdio>
#include <string>

#include "vqhw/status_texts.h"

namespace {

// A table cell: the pipe separates cells in markdown tables.
std::string Cell(const std::string& text) {
  std::string cell;
  for (char c : text) cell += c == '|' ? std::string("\\|") : std::string(1, c);
  return cell;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.md\n", argv[0]);
    return 64;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  // A code without a row of its own has the text and meaning of this one.
  const vqtool::StatusExplanation unknown = vqtool::ExplainStatus(-999);
  std::fprintf(out,
               "# Status codes {#status_codes}\n\n"
               "What `lastStatus` holds after a call, the text getvqicerror() gives for it "
               "(GBK bytes, shown here in UTF-8), and what it means or what to check. "
               "A non-zero status byte *b* of the reader's answer becomes the status *b* - 356; "
               "a code without a row has the text \"%s\".\n\n"
               "| Code | Text (GBK) | Meaning, what to check |\n|---:|---|---|\n",
               unknown.message.c_str());
  for (int32_t code = 0; code >= -1000; --code) {
    const vqtool::StatusExplanation row = vqtool::ExplainStatus(code);
    const bool known = row.meaning != unknown.meaning &&
                       (row.message != unknown.message || code > -101 || code == -1000);
    if (known) {
      std::fprintf(out, "| %d | %s | %s |\n", code, Cell(row.message).c_str(), Cell(row.meaning).c_str());
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
