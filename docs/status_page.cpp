// Writes the reference's page of status codes (Doxygen markdown) from the
// library's status table, so that codes, texts and meanings exist in one
// place only: every code with a row, its GBK text shown in UTF-8, its
// English meaning, what the functions return for it, and what to check.
// What to check is advice for people and lives here, beside the page; the
// program fails when the advice and the library's table do not name the
// same codes, so neither can change without the other.
// Usage: vqhw_status_page OUTPUT.md

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "api/result_mapping.h"
#include "base/reader_status.h"
#include "protocol/status_tables.h"

namespace {

using vqhw::ReaderStatus;

// The codes a status can take: 0, the argument and port codes, the status
// bytes (-355..-101) and the time-out.
constexpr ReaderStatus kHighestCode = 0;
constexpr ReaderStatus kLowestCode = -1000;

// Card-kind settings that pick the two texts of -27.
constexpr int32_t kOnlyMifareOne = 0;
constexpr int32_t kOnlyMifarePro = 1;

// What to check when a function leaves this status, by code.
const std::map<ReaderStatus, const char*> kChecks = {
    {0, "Nothing."},
    {-1, "The first argument, against the function's entry. From a function that drives the "
         "reader, result -1 stands for the last statuses -7, -9 to -14, -22 and -23 too."},
    {-2, "The second argument, against the function's entry."},
    {-3, "The third argument, against the function's entry."},
    {-4, "The fourth argument, against the function's entry."},
    {-5, "The fifth argument, against the function's entry."},
    {-6, "Not given by this library."},
    {-7, "Call open_reader() first; a failed open_reader() or a getreaderinfo() that probed "
         "leaves the reader closed."},
    {-8, "close_reader() before opening again (open_reader() does it itself)."},
    {-9, "Nothing: close_reader() found the reader closed."},
    {-10, "The reader's power and cable: opencard() got no answer to its second attempt."},
    {-11, "Not given by this library."},
    {-12, "The port number (1-99); the device or URL that VQHW_COM<n> names (else COM<n>, or "
          "/dev/ttyS<n-1> on Linux); its permissions; another program holding the port; for a "
          "socket:// or rfc2217:// port, that the device server runs and is reachable. VQHW_TRACE "
          "shows the system's reason."},
    {-13, "The serial port's driver."},
    {-14, "The serial device: unplugged, or its driver failing."},
    {-20, "Not given by this library."},
    {-21, "Noise on the cable, its length and screening: the reader's answer arrived with a "
          "wrong check byte on every one of the three attempts."},
    {-22, "The reader's firmware: a success answer with fewer data bytes than its command "
          "returns (a block of 16, a card serial, the file bytes asked for, an APDU answer "
          "without SW1 SW2). Nothing from such an answer reaches the outputs."},
    {-23, "Cable, power and port number; that the device on the port is the reader."},
    {-24, "Not given by this library."},
    {-25, "Another program or device on the line, or noise on the cable."},
    {-26, "That the PSAM sits in its slot, the right way round."},
    {-27, "SelectCardType(): the card last activated is of the kind it excludes, or no card has "
          "been activated yet: call opencard() first."},
    {-28, "The hex text: digits only, no separators."},
    {-29, "The program's signal handlers: they must not call the library (set a flag there and "
          "call from the program's own loop). The interrupted call goes on and ends as usual."},
    {-100, "Not given by this library."},
    {-101, "Present the card again: no card in the field, or it left. opencard() gives this for "
           "every failed activation."},
    {-102, "Present the card again."},
    {-103, "The key and key type (0: A, 1: B) given to loadkey() for that sector."},
    {-104, "Present the card again."},
    {-105, "The card's kind: a block command to a CPU card, or an APDU to a MIFARE ONE card."},
    {-106, "opencard() before loadkey(): the current card is not the one in the field."},
    {-107, "loadkey() for that sector: the reader holds no key for it."},
    {-108, "loadkey() for the block's sector before reading or writing it."},
    {-109, "The reader's firmware version: it does not know the command."},
    {-110, "The reader's firmware version."},
    {-111, "The reader's firmware version."},
    {-112, "The command APDU."},
    {-113, "Take all cards but one out of the field."},
    {-114, "Present the card again, close to the antenna."},
    {-115, "The sector trailer's access bits; block 0 cannot be written."},
    {-116, "The command's data: its length or content, for example a file range beyond 48 bytes."},
    {-117, "The amount of a value-block operation."},
    {-118, "Present the card again, write again and read back."},
    {-119, "Ask for less: a shorter file range, or an APDU with a smaller Le."},
    {-161, "That the PSAM sits in its slot; SAM_reset_h()."},
    {-162, "The PSAM's command APDU."},
    {-163, "The PSAM's contacts; SAM_reset_h()."},
    {-181, "Ask for less: a shorter file range, or an APDU with a smaller Le."},
    {-191, "The cable: the reader received a frame with a bad check byte."},
    {-1000, "The reader's power and cable: nothing answered, three times."},
};

// The GBK text in UTF-8; exits when it cannot be converted, since the page
// must not show GBK bytes as if they were UTF-8.
std::string Utf8(const char* gbk) {
  iconv_t cd = ::iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::perror("iconv_open GBK");
    std::exit(1);
  }
  std::string in(gbk), out(in.size() * 3 + 1, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  const bool converted = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
  ::iconv_close(cd);
  if (!converted || inLeft != 0) {
    std::fprintf(stderr, "not a GBK text: %s\n", gbk);
    std::exit(1);
  }
  out.resize(out.size() - outLeft);
  return out;
}

// A table cell: the pipe separates cells in markdown tables.
std::string Cell(const std::string& text) {
  std::string cell;
  for (char c : text) cell += c == '|' ? std::string("\\|") : std::string(1, c);
  return cell;
}

std::string Message(ReaderStatus code) {
  if (code == vqhw::status::kCardKindRefused) {
    return Utf8(vqhw::StatusText(code, kOnlyMifareOne)) + " (setting '0'); " +
           Utf8(vqhw::StatusText(code, kOnlyMifarePro)) + " (settings '1', '2')";
  }
  return Utf8(vqhw::StatusText(code, kOnlyMifarePro));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.md\n", argv[0]);
    return 64;
  }
  int mismatches = 0;
  for (ReaderStatus code = kHighestCode; code >= kLowestCode; --code) {
    const bool hasRow = vqhw::StatusMeaning(code) != nullptr;
    if (hasRow != (kChecks.count(code) == 1)) {
      std::fprintf(stderr, "status %d: %s\n", code,
                   hasRow ? "in the library's table, without advice on this page"
                          : "advice on this page, but no row in the library's table");
      ++mismatches;
    }
  }
  if (mismatches != 0) return 1;

  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const ReaderStatus unknown = kLowestCode + 1;  // a code without a row
  std::fprintf(out,
               "# Status codes {#status_codes}\n\n"
               "The last status that a function leaves (see @ref results), the text that "
               "getvqicerror() gives for it (GBK bytes, shown here in UTF-8), what it means, what "
               "the functions that drive the reader return for it, and what to check.\n\n"
               "A non-zero status byte *b* of the reader's answer becomes the status *b* - 356 "
               "(-355 to -101); those without a row below, and every other code, have the text "
               "\"%s\". That includes -25 and -1000.\n\n"
               "| Code | Text | Meaning | Result | What to check |\n|---:|---|---|---:|---|\n",
               Utf8(vqhw::StatusText(unknown, kOnlyMifarePro)).c_str());
  for (ReaderStatus code = kHighestCode; code >= kLowestCode; --code) {
    const char* meaning = vqhw::StatusMeaning(code);
    if (meaning == nullptr) continue;
    std::fprintf(out, "| %d | %s | %s | %d | %s |\n", code, Cell(Message(code)).c_str(),
                 Cell(meaning).c_str(), vqhw::ToApiResult(code), Cell(kChecks.at(code)).c_str());
  }
  std::fprintf(out,
               "\nThe result column is what a function that drives the reader returns; "
               "SelectCardType() and the functions that always return 0 say otherwise in their "
               "entries.\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
