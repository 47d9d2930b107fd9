// Opening, closing and describing the reader, the status message, and the
// exports that do nothing.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "VqhwLib.h"
#include "api/export_call.h"
#include "api/library_state.h"
#include "api/result_mapping.h"
#include "protocol/reader_link.h"
#include "protocol/status_tables.h"

using namespace vqhw;

namespace {

// [厂商]:青岚市博远达通讯设备有限公司  [机具型号]:Morvelina-TX700   [生产日期]:2002年10月  [串口号]:COM%d  [通讯速率]:%ld
constexpr const char* kReaderInfoFormat =
    "[\xB3\xA7\xC9\xCC]:\xC7\xE0\xE1\xB0\xCA\xD0\xB2\xA9\xD4\xB6\xB4\xEF\xCD\xA8\xD1\xB6\xC9\xE8"
    "\xB1\xB8\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE  [\xBB\xFA\xBE\xDF\xD0\xCD\xBA\xC5]:Morvelina-TX700"
    "   [\xC9\xFA\xB2\xFA\xC8\xD5\xC6\xDA]:2002\xC4\xEA"
    "10\xD4\xC2  [\xB4\xAE\xBF\xDA\xBA\xC5]:COM%d  [\xCD\xA8\xD1\xB6\xCB\xD9\xC2\xCA]:%ld";
// 没有在COM1和COM2发现机具
constexpr const char* kNoReaderFound =
    "\xC3\xBB\xD3\xD0\xD4\xDA" "COM1\xBA\xCD" "COM2\xB7\xA2\xCF\xD6\xBB\xFA\xBE\xDF";
// The caller's buffer: a two-digit port and a six-digit speed fill it.
constexpr size_t kReaderInfoSize = 123;

constexpr std::chrono::milliseconds kPauseBeforeOpen{100};
constexpr int32_t kProbedPorts[] = {1, 2};

// Formats in a roomy buffer and hands out at most what the caller's holds.
void WriteReaderInfo(char* text, int32_t port, int32_t baud) {
  char line[2 * kReaderInfoSize];
  std::snprintf(line, sizeof line, kReaderInfoFormat, static_cast<int>(port),
                static_cast<long>(baud));
  const size_t length = std::min(std::strlen(line), kReaderInfoSize - 1);
  std::memcpy(text, line, length);
  text[length] = '\0';
}

}  // namespace

int32_t VQHW_CALL open_reader(int32_t port, int32_t /*ignored*/) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  LibraryState& library = Library();
  ReaderLink& link = library.device.link;
  // Not through close_reader: this call already holds the export lock.
  if (link.IsOpen()) link.Close();
  std::this_thread::sleep_for(kPauseBeforeOpen);
  library.lastStatus = link.Open(port);
  library.portNumber = port;
  return ToApiResult(library.lastStatus);
}

int32_t VQHW_CALL close_reader(void) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.link.Close());
}

int32_t VQHW_CALL getreaderinfo(char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  if (text == nullptr) return 0;
  LibraryState& library = Library();
  ReaderLink& link = library.device.link;
  if (link.IsOpen()) {
    WriteReaderInfo(text, library.portNumber, link.BaudRate());
    return 0;
  }
  for (int32_t port : kProbedPorts) {
    library.portNumber = port;
    library.lastStatus = link.Open(port);
    if (library.lastStatus == status::kOk) {
      const int32_t baud = link.BaudRate();
      link.Close();
      WriteReaderInfo(text, port, baud);
      return 0;
    }
  }
  std::strcpy(text, kNoReaderFound);
  return 0;
}

int32_t VQHW_CALL getvqicerror(char* text) {
  const ExportCall call;
  // The refusal's own text: the last status belongs to the interrupted call.
  if (call.Refused()) {
    if (text != nullptr) std::strcpy(text, StatusText(status::kBusyInThisThread, 0));
    return status::kBusyInThisThread;
  }
  const LibraryState& library = Library();
  if (text != nullptr) {
    std::strcpy(text, StatusText(library.lastStatus, library.device.cardKind.CardKindSetting()));
  }
  return 0;
}

int32_t VQHW_CALL changebaudrate(int32_t /*ignored*/) { return 0; }
int32_t VQHW_CALL selectadf(void) { return 0; }
int32_t VQHW_CALL enterdebug(int32_t /*ignored1*/, int32_t /*ignored2*/) { return 0; }
int32_t VQHW_CALL close_pro(void) { return 0; }
