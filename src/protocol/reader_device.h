#pragma once
// The reader protocol object: one per process, inside LibraryState. Every
// reader command is an operation of it; each returns a ReaderStatus, checks
// its arguments before anything is sent, and never throws.

#include <cstdint>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "base/reader_status.h"
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
  // Channels: 0x60 carries an APDU to the CPU user card, 0x61 to the PSAM.
  // APDU and reply texts are hex text; the card's status word is handed out,
  // never acted on. A reply text needs 2 x reply length + 1 characters, a
  // status word text 5.
  static constexpr uint8_t kUserCardChannel = command::kUserCardApdu;
  static constexpr uint8_t kPsamChannel = command::kPsamApdu;
  // Decodes the APDU text and runs one transaction; the status byte is not
  // looked at. An APDU text that does not decode whole is refused.
  ReaderStatus TransactHex(uint8_t command, const char* apduText, uint8_t* response);
  // Exchanges, named by channel and by reply form: StatusFirst gives SW1 SW2
  // then the data in one text, Split the data and the SW in two, and the
  // plain form the data then SW1 SW2. All but SamApduHex and
  // SamApduStatusFirstHex apply the card-kind rule, after the exchange.
  ReaderStatus ProApduStatusFirstHex(const char* apduText, char* replyText);
  ReaderStatus ProApduSplitHex(const char* apduText, char* dataText, char* statusWordText);
  ReaderStatus ProApduHex(const char* apduText, char* replyText);
  ReaderStatus SamApduHex(const char* apduText, char* replyText);
  ReaderStatus SamApduSplitHex(const char* apduText, char* dataText, char* statusWordText);
  ReaderStatus SamApduStatusFirstHex(const char* apduText, char* replyText);
  // The guard of the split exchanges and CopyLastFrame: kNotOpen while the
  // reader is closed, otherwise what `operation` returns.
  template <typename Operation>
  int32_t WhenOpen(Operation operation) {
    return isOpen ? operation() : status::kNotOpen;
  }
  // Copies the last command frame (which 0) or response frame (which 1) with
  // the zero bytes behind it, at most kFrameBufferSize bytes in all; returns
  // the frame's length plus one, or -1 for another `which`.
  int32_t CopyLastFrame(int32_t which, uint8_t* out);

  // User-card catalogue over 0x60. Arguments in the order of the command:
  // caller's header bytes, lc (or n), data, le, then out, outLength, sw.
  // Every one returns a ReaderStatus; sw receives SW1 SW2, out the response
  // data, outLength the number of data bytes the card sent.
  ReaderStatus ProAppendRecord(int32_t cla, int32_t p2, int32_t n, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProVerify(int32_t cla, int32_t p2, int32_t n, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProExternalAuthenticate(int32_t p2, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProGetChallenge(int32_t le, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInternalAuthenticate(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                       uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProSelectFile(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, int32_t le,
                             uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProReadBinary(int32_t cla, int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                             int32_t le, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProReadRecord(int32_t cla, int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                             int32_t le, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProGetResponse(int32_t le, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProChangeReferenceData(int32_t cla, int32_t p2, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProSendCommand(int32_t cla, int32_t ins, int32_t p1, int32_t p2, int32_t lc,
                              const uint8_t* data, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProIns0E(uint8_t* sw);
  ReaderStatus ProIns14(int32_t value, uint8_t* sw);
  ReaderStatus ProIns2C(int32_t p2, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProIns30(int32_t cla, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProIns32(int32_t cla, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInsC2(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInsC4(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInsC6(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInsC8(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProInsCC(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInsD4(int32_t cla, int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                        uint8_t* sw);
  ReaderStatus ProInsE0(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProCardBlock(const uint8_t* mac, uint8_t* sw);
  ReaderStatus ProApplicationUnblock(const uint8_t* mac, uint8_t* sw);
  ReaderStatus ProApplicationBlock(int32_t p2, const uint8_t* mac, uint8_t* sw);
  ReaderStatus ProPinUnblock(const uint8_t* data, uint8_t* sw);
  ReaderStatus ProChangePin(int32_t p1, int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus ProInitializeForLoad(int32_t p2, const uint8_t* data, uint8_t* out,
                                    int32_t* outLength, uint8_t* sw);
  ReaderStatus ProCreditForLoad(const uint8_t* data, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInitializeForPurchase(int32_t p1, int32_t p2, const uint8_t* data, uint8_t* out,
                                        int32_t* outLength, uint8_t* sw);
  ReaderStatus ProDebitForPurchase(const uint8_t* data, uint8_t* out, int32_t* outLength,
                                   uint8_t* sw);
  ReaderStatus ProInitializeForUnload(int32_t p2, const uint8_t* data, uint8_t* out,
                                      int32_t* outLength, uint8_t* sw);
  ReaderStatus ProDebitForUnload(const uint8_t* data, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus ProInitializeForUpdate(int32_t p2, const uint8_t* data, uint8_t* out,
                                      int32_t* outLength, uint8_t* sw);
  ReaderStatus ProUpdateOverdrawLimit(const uint8_t* data, uint8_t* out, int32_t* outLength,
                                      uint8_t* sw);
  ReaderStatus ProGetTransactionProve(int32_t p2, const uint8_t* data, int32_t le, uint8_t* out,
                                      int32_t* outLength, uint8_t* sw);
  ReaderStatus ProGetBalance(int32_t p2, uint8_t* out, int32_t* outLength, uint8_t* sw);

  // PSAM catalogue over 0x61, by the same rules.
  ReaderStatus SamSelectFile(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                             int32_t* outLength, uint8_t* sw);
  ReaderStatus SamReadBinary(int32_t p1, int32_t p2, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus SamUpdateBinary(int32_t cla, int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                               uint8_t* sw);
  ReaderStatus SamReadRecord(int32_t p1, int32_t p2, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus SamUpdateRecord(int32_t cla, int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                               uint8_t* sw);
  ReaderStatus SamExternalAuthenticate(const uint8_t* data, uint8_t* sw);
  ReaderStatus SamGetResponse(int32_t le, uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus SamGetChallenge(uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus SamInternalAuthenticate(int32_t p2, int32_t lc, const uint8_t* data, int32_t le,
                                       uint8_t* out, int32_t* outLength, uint8_t* sw);
  ReaderStatus SamVerify(int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamApplicationUnblock(int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamApplicationBlock(int32_t p2, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamReloadPin(int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamChangePin(int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamIns0E(uint8_t* sw);
  ReaderStatus SamIns1A(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamIns1C(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);
  ReaderStatus SamIns70(int32_t lc, const uint8_t* data, uint8_t* out, int32_t* outLength,
                        uint8_t* sw);
  ReaderStatus SamIns72(const uint8_t* data, uint8_t* sw);
  ReaderStatus SamInsD4(int32_t p1, int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamInsE0(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data, uint8_t* sw);
  ReaderStatus SamInsFA(int32_t p1, int32_t lc, const uint8_t* data, uint8_t* out,
                        int32_t* outLength, uint8_t* sw);

  // --- State ---
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
