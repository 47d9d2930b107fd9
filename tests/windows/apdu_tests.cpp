// The four APDU exports against the CPU card and the contact PSAM that
// cpu_card_field.json puts in the reader: the text forms of real answers,
// error status words passed on as success, and texts that are refused.

#include <cstring>
#include <string>

#include "harness.h"
#include "library.h"
#include "test_cases.h"

namespace wintest {

namespace {

// What a failed export returned, before what it left in its outputs.
std::string Failed(int32_t result) { return "result " + std::to_string(result) + ": "; }

// "data/SW" from one of the split exports.
template <typename Export>
std::string Split(Export command, const char* apdu) {
  char data[600] = "untouched";
  char statusWord[8] = "SW";
  const int32_t result = command(apdu, data, statusWord);
  return (result == 0 ? "" : Failed(result)) + data + "/" + statusWord;
}

// The reply of one of the one-text exports.
template <typename Export>
std::string Whole(Export command, const char* apdu) {
  char reply[600] = "untouched";
  const int32_t result = command(apdu, reply);
  return (result == 0 ? "" : Failed(result)) + reply;
}

bool IsHex(const std::string& text) {
  return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

}  // namespace

void CpuCardAndPsamAnswerThroughTheApduExports(const Setup& setup) {
  Library library;
  auto pro_command_h = VQHW_EXPORT(library, pro_command_h);
  auto PRO_COMMAND_H = VQHW_EXPORT(library, PRO_COMMAND_H);
  auto sam_command_h = VQHW_EXPORT(library, sam_command_h);
  auto SAM_COMMAND_H = VQHW_EXPORT(library, SAM_COMMAND_H);

  if (!OpenReader(library, setup.cpuCardReader)) return;
  char record[12] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, opencard_h)(record), 0);

  // The user card: status word first, or split.
  WT_CHECK_EQ(Whole(pro_command_h, "00A4040006A00000099901"), std::string("90006F088406A00000099901"));
  WT_CHECK_EQ(Split(PRO_COMMAND_H, "00A4040006A00000099901"), std::string("6F088406A00000099901/9000"));
  WT_CHECK_EQ(Split(PRO_COMMAND_H, "00A4000002DF01"), std::string("/6A82"));  // no such file
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kSuccess));
  WT_CHECK_EQ(Whole(pro_command_h, "00a4 0000 02 df01"), std::string("6A82"));
  WT_CHECK_EQ(Split(PRO_COMMAND_H, "00B0950004"), std::string("51009988/9000"));  // issuer data
  WT_CHECK_EQ(Split(PRO_COMMAND_H, "0020000003999999"), std::string("/63C2"));
  WT_CHECK_EQ(Split(PRO_COMMAND_H, "0020000003123456"), std::string("/9000"));
  WT_CHECK_EQ(Split(PRO_COMMAND_H, "805C000204"), std::string("000061A8/9000"));  // 25000
  const std::string challenge = Whole(pro_command_h, "0084000004");
  WT_CHECK_EQ(challenge.size(), size_t{12});
  WT_CHECK_EQ(challenge.substr(0, 4), std::string("9000"));
  WT_CHECK(IsHex(challenge));
  const std::string longChallenge = Split(PRO_COMMAND_H, "0084000008");
  WT_CHECK_EQ(longChallenge.size(), size_t{16 + 5});
  WT_CHECK_EQ(longChallenge.substr(16), std::string("/9000"));

  // The PSAM: data then status word, or split; its data comes by GET
  // RESPONSE when a command with data answers data.
  WT_CHECK_EQ(Whole(sam_command_h, "00B0960006"), std::string("0000000000429000"));  // terminal number
  WT_CHECK_EQ(Split(SAM_COMMAND_H, "00B0960006"), std::string("000000000042/9000"));
  const std::string psamChallenge = Whole(sam_command_h, "0084000004");
  WT_CHECK_EQ(psamChallenge.size(), size_t{12});
  WT_CHECK_EQ(psamChallenge.substr(8), std::string("9000"));
  WT_CHECK(IsHex(psamChallenge));
  WT_CHECK_EQ(Split(SAM_COMMAND_H, "00A4040006A0000009990200"), std::string("/610A"));
  WT_CHECK_EQ(Split(SAM_COMMAND_H, "00C000000A"), std::string("6F088406A00000099902/9000"));

  // A last digit without a partner is dropped: GET CHALLENGE without its
  // length. Digits past what the decoder reads, and missing buffers, send
  // nothing.
  WT_CHECK_EQ(Whole(pro_command_h, "008400000"), std::string("6700"));
  WT_CHECK_EQ(Whole(sam_command_h, std::string(256, 'A').c_str()), std::string("result -1: untouched"));
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kArgument1));
  WT_CHECK_EQ(sam_command_h("0084000004", nullptr), -2);
  WT_CHECK_EQ(PRO_COMMAND_H("0084000004", record, nullptr), -3);

  WT_CHECK_EQ(VQHW_EXPORT(library, close_reader)(), 0);
  WT_CHECK_EQ(Whole(pro_command_h, "0084000004"), std::string("result -1: untouched"));
  WT_CHECK_EQ(Split(SAM_COMMAND_H, "0084000004"), std::string("result -1: untouched/SW"));
  WT_CHECK_EQ(LastStatusText(library), std::string(text::kNotOpen));
}

}  // namespace wintest
