#include "vqhw/status_texts.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "VqhwLib.h"
#include "protocol/status_tables.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr int32_t kBothKinds = 2;  // the card-kind setting of a freshly loaded library

// What each status means for people; the message itself is the library's.
struct StatusRow {
  int32_t status;
  const char* meaning;
};

constexpr std::array<StatusRow, 50> kStatusRows{{
    {0, "success"},
    {-1,
     "first argument wrong; as a result also: port not open, cannot be opened or set up, cannot "
     "send, or reader not found (getvqicerror tells which)"},
    {-2, "second argument wrong"},
    {-3, "third argument wrong"},
    {-4, "fourth argument wrong"},
    {-5, "fifth argument wrong"},
    {-6, "the serial port does not exist"},
    {-7, "the port is not open: open the reader first"},
    {-8, "the port is already open"},
    {-9, "the port is already closed"},
    {-10, "the reader did not answer in time"},
    {-11, "sending to the reader timed out"},
    {-12,
     "the port cannot be opened: no such device, no permission, or another program has it"},
    {-13, "the port's settings cannot be read"},
    {-14, "the port cannot send"},
    {-20, "unrecognised bytes on the line"},
    {-21, "check byte wrong"},
    {-22, "communication error: an answer too short for its command"},
    {-23,
     "the port opened but no reader answered the probe: check cable, power and port"},
    {-24, "card authentication failed"},
    {-25, "the answer carried a wrong sequence number"},
    {-26, "the reader answers but has no PSAM in its slot"},
    {-27,
     "card kind not accepted: SelectCardType allows only the other kind"},
    {-28, "a hex text holds characters that are not hex digits"},
    {-100, "no error"},
    {-101, "no card in the antenna field"},
    {-102, "card CRC error"},
    {-103, "the card refused the key (authentication failed)"},
    {-104, "card parity error"},
    {-105, "card command error: the card is not of the kind the command is for"},
    {-106, "no selected card has that serial number"},
    {-107, "the reader holds no key for that sector"},
    {-108, "the block's sector is not authenticated"},
    {-109, "the reader does not know the command"},
    {-110, "unrecognised data frame"},
    {-111, "unrecognised data frame"},
    {-112, "invalid card command"},
    {-113, "more than one card in the antenna field"},
    {-114, "the card did not answer in time"},
    {-115, "the card cannot do it: the access bits or the block forbid it"},
    {-116, "the command's data has the wrong length or content"},
    {-117, "invalid amount for a value block"},
    {-118, "writing the card failed"},
    {-119, "reader buffer overflow: an answer too long for one frame"},
    {-161, "the PSAM did not answer"},
    {-162, "PSAM command argument error"},
    {-163, "PSAM CRC error"},
    {-181, "reader buffer overflow"},
    {-191, "reader communication error: it received a frame with a bad check byte"},
    {-1000, "time-out: no answer after three attempts"},
}};

// A status from a reader status byte that has no row of its own.
std::string StatusByteMeaning(int32_t status) {
  char text[64];
  std::snprintf(text, sizeof text, "reader or card status byte %02X", static_cast<unsigned>(status + 356));
  return text;
}

}  // namespace

int32_t StatusOfByte(uint8_t statusByte) { return static_cast<int32_t>(statusByte) - 356; }

StatusExplanation ExplainStatus(int32_t status) {
  if (status == VQHW_NO_CARD) {
    StatusExplanation noCard = ExplainStatus(-101);
    noCard.status = status;
    noCard.meaning = "the result for status -101: " + noCard.meaning;
    return noCard;
  }
  const auto* row = std::ranges::find(kStatusRows, status, &StatusRow::status);
  const std::string message = GbkToUtf8(vqhw::StatusMessage(status, kBothKinds));
  if (row != kStatusRows.end()) return {status, message, row->meaning};
  if (status >= -355 && status <= -101) return {status, message, StatusByteMeaning(status)};
  return {status, message, "not a status the library gives"};
}

std::string StatusWordText(uint16_t statusWord) { return vqhw::StatusWordMessage(statusWord); }

}  // namespace vqtool
