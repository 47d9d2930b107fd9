// Exports of card activation, keys and blocks.

#include <cstring>

#include "VqhwLib.h"
#include "api/export_call.h"
#include "api/library_state.h"
#include "api/result_mapping.h"
#include "mifare/mifare_layout.h"
#include "mifare/mifare_one.h"
#include "protocol/reader_control.h"
#include "util/hex_codec.h"

using namespace vqhw;

namespace {

// Working area of the hex text exports: the longest text the decoder reads,
// with the zero after it. Filled with zeros first, so a text shorter than
// the contract sends zeros after its bytes, never stale memory.
using DecodedText = uint8_t[kMaxDecodedBytes + 1];

// Activates the card in the field into `output`, and once more after a
// field reset. On success `keepSerial` stores the serial as the current
// card's; a failure is told as no card, or as a receive time-out when the
// reader was silent.
template <typename Activate, typename KeepSerial>
int32_t OpenCard(const void* output, Activate activate, KeepSerial keepSerial) {
  LibraryState& library = Library();
  if (!library.device.link.IsOpen()) return ToApiResult(status::kNotOpen);
  if (output == nullptr) return Report(status::kArgument1);
  MifareOne& card = library.device.mifare;
  library.lastStatus = activate(card);
  if (library.lastStatus != status::kOk) {
    library.device.control.ResetRfField();
    const ReaderStatus second = activate(card);
    if (second != status::kOk) {
      return Report(second == status::kTimeout ? status::kReceiveTimeout : status::kNoCard);
    }
  }
  keepSerial(library.currentCardSerial);
  library.currentCardSerial[mifare::kSerialSize] = 0;
  return Report(status::kOk);
}

// exportKeyType is 0 or 1; the reader's code is four times that. Checked
// before it is multiplied, so no large value can wrap to a valid code.
ReaderStatus LoadKeyAndAuthenticate(int32_t exportKeyType, int32_t sector, const uint8_t* key) {
  if (exportKeyType != 0 && exportKeyType != 1) return status::kArgument1;
  const int32_t code = exportKeyType * 4;
  MifareOne& card = Library().device.mifare;
  const ReaderStatus loaded = card.LoadKey(code, sector, key);
  if (loaded != status::kOk) return loaded;
  return card.Authenticate(Library().currentCardSerial, code, sector,
                           mifare::AuthenticationBlock(sector));
}

ReaderStatus WriteTrailer(int32_t sector, const uint8_t* trailer) {
  if (!mifare::IsSector(sector)) return status::kArgument2;
  return Library().device.mifare.WriteBlock(mifare::TrailerBlock(sector), trailer);
}

// The decoded text, or null (refused as a missing buffer) when there is none.
const uint8_t* Decode(const char* text, DecodedText& area) {
  if (text == nullptr) return nullptr;
  HexToBytes(text, area);
  return area;
}

}  // namespace

int32_t VQHW_CALL opencard(unsigned char* record) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return OpenCard(record, [&](MifareOne& card) { return card.ActivateCard(record); },
                  [&](uint8_t* serial) { std::memcpy(serial, record, mifare::kSerialSize); });
}

int32_t VQHW_CALL opencard_h(char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return OpenCard(text, [&](MifareOne& card) { return card.ActivateCardHex(text); },
                  [&](uint8_t* serial) {
                    DecodedText decoded = {};
                    std::memcpy(serial, Decode(text, decoded), mifare::kSerialSize);
                  });
}

int32_t VQHW_CALL loadkey(int32_t keyType, int32_t sector, const unsigned char* key) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(LoadKeyAndAuthenticate(keyType, sector, key));
}

int32_t VQHW_CALL loadkey_h(int32_t keyType, int32_t sector, const char* key) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  DecodedText decoded = {};
  return Report(LoadKeyAndAuthenticate(keyType, sector, Decode(key, decoded)));
}

int32_t VQHW_CALL readblock(int32_t, int32_t block, unsigned char* data) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.mifare.ReadBlock(block, data));
}

// Leaves the last status as it was.
int32_t VQHW_CALL readblock_h(int32_t, int32_t block, char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  uint8_t data[mifare::kBlockSize];
  const ReaderStatus result =
      Library().device.mifare.ReadBlock(block, text != nullptr ? data : nullptr);
  if (result == status::kOk) BytesToHex(data, text, mifare::kBlockSize);
  return ToApiResult(result);
}

int32_t VQHW_CALL writeblock(int32_t, int32_t block, const unsigned char* data) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(Library().device.mifare.WriteBlock(block, data));
}

// Leaves the last status as it was.
int32_t VQHW_CALL writeblock_h(int32_t, int32_t block, const char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  DecodedText decoded = {};
  return ToApiResult(Library().device.mifare.WriteBlock(block, Decode(text, decoded)));
}

int32_t VQHW_CALL writekey(int32_t, int32_t sector, const unsigned char* trailer) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  return Report(WriteTrailer(sector, trailer));
}

int32_t VQHW_CALL writekey_h(int32_t, int32_t sector, const char* text) {
  const ExportCall call;
  if (call.Refused()) return status::kBusyInThisThread;
  DecodedText decoded = {};
  return Report(WriteTrailer(sector, Decode(text, decoded)));
}
