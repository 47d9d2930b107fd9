#pragma once
// The MIFARE ONE operations: activation, keys and blocks, card files and
// value blocks. Each checks its arguments in order before anything is sent
// (a null buffer is refused with the code of the argument it stands for in
// the export that passes it) and runs its command on the link; the link
// answers kNotOpen for a closed reader.

#include <cstdint>

#include "base/reader_status.h"
#include "mifare/file_address.h"
#include "protocol/card_kind_rule.h"
#include "protocol/reader_link.h"

namespace vqhw {

class MifareOne {
 public:
  MifareOne(ReaderLink& readerLink, CardKindRule& rule) : link(readerLink), cardKind(rule) {}

  // Activation (activation.cpp). `record`: serial (4 bytes), SAK.
  ReaderStatus ActivateCard(uint8_t* record);                // 0x80
  ReaderStatus ActivateCardHex(char* text);                  // 0x80, 10 digits
  ReaderStatus Request(int32_t mode, uint8_t* answer);       // 0x40, tells the card kind
  ReaderStatus Anticollision(uint8_t* serial);               // 0x41
  ReaderStatus Select(const uint8_t* serial, uint8_t* sak);  // 0x42, card-kind rule
  ReaderStatus Select(const uint8_t* serial);
  // Request, anticollision and select; the first failure ends it.
  ReaderStatus ActivateStepwise(int32_t mode, uint8_t* answer, uint8_t* serial, uint8_t* sak);
  ReaderStatus ActivateStepwise(int32_t mode, uint8_t* serial);
  ReaderStatus ActivateStepwise(int32_t mode);

  // Keys and blocks (keys_and_blocks.cpp). keyType is the reader's code, 0 or 4.
  ReaderStatus LoadKey(int32_t keyType, int32_t sector, const uint8_t* key);  // 0x56
  ReaderStatus Authenticate(const uint8_t* serial, int32_t keyType, int32_t sector,
                            int32_t block);                                 // 0x50
  ReaderStatus ReadBlock(int32_t block, uint8_t* data);                    // 0x51
  ReaderStatus WriteBlock(int32_t block, const uint8_t* data);             // 0x52

  // Card files (card_files.cpp). Identifiers are hex texts: the file number
  // is the second byte of the file identifier, the key selector the high
  // half of the key identifier's first byte. Reads and writes apply the
  // card-kind rule after success.
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

  // Value blocks (value_blocks.cpp); amounts go out least significant byte
  // first. The value commands read the value block `source` and store the
  // result in `destination`, a block of the same sector.
  ReaderStatus WriteValueBlock(int32_t block, uint32_t amount);  // 0x52, a value block image
  ReaderStatus DecrementValue(int32_t source, int32_t destination, uint32_t amount);  // 0x53
  ReaderStatus IncrementValue(int32_t source, int32_t destination, uint32_t amount);  // 0x54
  ReaderStatus RestoreValue(int32_t source, int32_t destination);  // 0x55, the value unchanged
  // Puts the current card to sleep until a wake-up request.
  ReaderStatus HaltCard();  // 0x58

 private:
  // Every command of the family goes through here: the link's Command, with
  // the fewest data bytes its answer carries (answer_sizes.h).
  ReaderStatus Run(uint8_t command, const uint8_t* request, int32_t count, uint8_t* response);
  // The commands behind the checked entries.
  ReaderStatus SendBlock(int32_t block, const uint8_t* data);
  ReaderStatus SendValueOperation(uint8_t command, int32_t source, int32_t destination,
                                  uint32_t amount);
  ReaderStatus ReadFile(mifare::FileAddress file, int32_t offset, int32_t length, uint8_t* data);
  ReaderStatus WriteFile(mifare::FileAddress file, int32_t offset, int32_t length,
                         const uint8_t* data);

  ReaderLink& link;
  CardKindRule& cardKind;
};

}  // namespace vqhw
