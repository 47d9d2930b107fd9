#pragma once
// The reader protocol object: one per process, inside LibraryState. Every
// reader command is an operation of it; each returns a ReaderStatus, checks
// its arguments before anything is sent, and never throws.

#include <cstdint>

#include "protocol/frame.h"
#include "protocol/reader_status.h"
#include "serial/serial_channel.h"

namespace vqhw {

class ReaderDevice {
 public:
  // Card kinds, for cardKindSetting and detectedCardKind.
  static constexpr int32_t kMifareOne = 0;
  static constexpr int32_t kMifarePro = 1;  // any card that is not a MIFARE ONE
  static constexpr int32_t kBothKinds = 2;
  static constexpr int32_t kNoCardSeen = -1;

  // --- Connection (src/protocol/reader_connection.cpp) ---
  // Opens port portIndex + 1 and confirms the reader with the probe and the
  // PSAM reset: 0, kAlreadyOpen, kCannotOpen, kReaderNotFound or kNoPsam.
  ReaderStatus Open(int32_t portIndex);
  ReaderStatus Close();
  ReaderStatus Probe();      // 0x70 AA AA AA
  ReaderStatus ResetPsam();  // 0x73
  // The line speed while open, 0 while closed.
  int32_t BaudRate() const;

  // --- Frames and transactions (src/protocol/transaction.cpp) ---
  ReaderStatus SendFrame(uint8_t command, const uint8_t* data, int32_t count);
  ReaderStatus ReceiveFrame(uint8_t* response);
  // One command with up to three attempts. `response` (256 bytes) receives
  // the whole answer followed by a zero byte. The status byte is not looked at.
  ReaderStatus Transact(uint8_t command, const uint8_t* data, int32_t count, uint8_t* response);
  // Transact, then the status-byte rule: a non-zero status byte s gives s - 356.
  ReaderStatus Command(uint8_t command, const uint8_t* data, int32_t count, uint8_t* response);

  // --- Status texts (src/protocol/status_text.cpp) ---
  // GBK message of a status; never null. Reads cardKindSetting for -27.
  const char* StatusText(ReaderStatus status) const;
  // English text of a card's status word SW1 SW2; never null.
  static const char* CardStatusWordText(const uint8_t* statusWord);

  // --- Reader control (src/protocol/reader_control.cpp) ---
  ReaderStatus ResetRfField();   // 0x72
  ReaderStatus ResetProCard();   // 0x76
  ReaderStatus SetMmi(int32_t first, int32_t second, int32_t third);  // 0x74
  ReaderStatus SetCardKind(int32_t kindCharacter);                    // no frame
  ReaderStatus Request(int32_t mode, uint8_t* answer);                // 0x40
  ReaderStatus ChangeLineSpeed(int32_t baud);                         // 0x71
  ReaderStatus SetSecondLineSpeed(int32_t baud);                      // 0x75
  // The card-kind rule: kCardKindRefused when the card last seen is of a
  // kind that cardKindSetting excludes, else 0.
  ReaderStatus CheckCardKind() const;

  // --- Hex text (src/util) ---
  int32_t HexToBytes(const char* text, uint8_t* bytes, int32_t* count) const;
  void BytesToHex(const uint8_t* bytes, char* text, int32_t length) const;
  char* BytesToHexText(const uint8_t* bytes, int32_t length);

  // --- MIFARE ONE cards (src/mifare) ---
  // A null buffer is refused with the code of the argument it stands for in
  // the export that passes it (e.g. ReadBlock's data: -3, as in readblock).
  // Activation (activation.cpp). `record`: serial (4 bytes), SAK.
  ReaderStatus ActivateCard(uint8_t* record);                             // 0x80
  ReaderStatus ActivateCardHex(char* text);                               // 0x80, 10 digits
  ReaderStatus Anticollision(uint8_t* serial);                            // 0x41
  ReaderStatus Select(const uint8_t* serial, uint8_t* sak);               // 0x42, card-kind rule
  ReaderStatus Select(const uint8_t* serial);
  // Request, anticollision and select; the first failure ends it.
  ReaderStatus ActivateStepwise(int32_t mode, uint8_t* answer, uint8_t* serial, uint8_t* sak);
  ReaderStatus ActivateStepwise(int32_t mode, uint8_t* serial);
  ReaderStatus ActivateStepwise(int32_t mode);
  int32_t DetectedCardKind() const { return detectedCardKind; }

  // Keys and blocks (keys_and_blocks.cpp). keyType is the reader's code, 0 or 4.
  ReaderStatus LoadKey(int32_t keyType, int32_t sector, const uint8_t* key);  // 0x56
  ReaderStatus Authenticate(const uint8_t* serial, int32_t keyType, int32_t sector,
                            int32_t block);                                 // 0x50
  ReaderStatus ReadBlock(int32_t block, uint8_t* data);                    // 0x51
  ReaderStatus WriteBlock(int32_t block, const uint8_t* data);             // 0x52

  // Card files (card_files.cpp). Identifiers are hex texts: the file number
  // is the second byte of the file identifier, the key selector the high
  // half of the key identifier's first byte.
  ReaderStatus ReadCardFile(int32_t fileNumber, int32_t keySelector, int32_t offset,
                            int32_t length, uint8_t* data);                 // 0x81
  ReaderStatus WriteCardFile(int32_t fileNumber, int32_t keySelector, int32_t offset,
                             int32_t length, const uint8_t* data);          // 0x82
  ReaderStatus PrepareCardFileWrite(int32_t fileNumber, int32_t keySelector);  // 0x83
  ReaderStatus ReadCardFileById(const char* fileId, const char* keyId, int32_t offset,
                                int32_t length, uint8_t* data);
  ReaderStatus WriteCardFileById(const char* fileId, const char* keyId, int32_t offset,
                                 int32_t length, const uint8_t* data);
  ReaderStatus PrepareCardFileWriteById(const char* fileId, const char* keyId);
  ReaderStatus ReadCardFileHex(const char* fileId, const char* keyId, int32_t offset,
                               int32_t length, char* text);
  ReaderStatus WriteCardFileHex(const char* fileId, const char* keyId, int32_t offset,
                                int32_t length, const char* dataText);

  // Value blocks (value_blocks.cpp); amounts go out least significant byte first.
  ReaderStatus WriteValueBlock(int32_t block, uint32_t amount);            // 0x52
  ReaderStatus ValueOperation53(int32_t source, int32_t destination, uint32_t amount);
  ReaderStatus ValueOperation54(int32_t source, int32_t destination, uint32_t amount);
  ReaderStatus BlockPairOperation55(int32_t source, int32_t destination);
  ReaderStatus CardCommand58();

  // --- APDU channels and command catalogues (src/apdu) ---

  // --- State ---
  int32_t portHandle = 0;
  int32_t baudRate = 115200;
  int32_t cardKindSetting = kBothKinds;
  int32_t sequenceNumber = 0;
  int32_t lastResponseSequence = 0;
  int32_t detectedCardKind = kNoCardSeen;
  uint8_t responseFrame[kFrameBufferSize] = {};
  uint8_t commandFrame[kFrameBufferSize] = {};
  char hexText[256] = {};
  SerialChannel channel;
  int32_t isOpen = 0;
};

}  // namespace vqhw
