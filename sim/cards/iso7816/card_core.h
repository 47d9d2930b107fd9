#pragma once
// The inside of a smart card that answers ISO/IEC 7816-4 commands: its file
// system, PIN and keys, security state, and a table of commands by INS that
// a card model extends with its own (a purse adds its commands there).
//
// Built in: SELECT (by file identifier and by DF name), READ and UPDATE
// BINARY (current EF or short file identifier), READ, UPDATE and APPEND
// RECORD, VERIFY, GET CHALLENGE, EXTERNAL and INTERNAL AUTHENTICATE, GET
// RESPONSE. A class byte with bit 0x04 marks secure messaging: the last
// four data bytes are a MAC over the header, Lc and the data before them,
// keyed with the MAC key and chained from the last challenge.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "sim/cards/iso7816/card_file.h"
#include "sim/cards/iso7816/command_apdu.h"
#include "sim/cards/iso7816/des3.h"

namespace vqsim {

struct CardKey {
  DesKey value{};
  int maxTries = 3;
  int triesLeft = 3;
};

struct CardSecrets {
  std::vector<uint8_t> pin;
  int pinTries = 3;
  std::map<uint8_t, CardKey> externalKeys;  // by key identifier, P2 of EXTERNAL AUTHENTICATE
  std::map<uint8_t, DesKey> internalKeys;   // by key identifier, P2 of INTERNAL AUTHENTICATE
  DesKey macKey{};                          // secure messaging
};

class CardCore {
 public:
  using Handler = std::function<ResponseApdu(const CommandApdu&)>;

  // `randomSeed` starts the card's random numbers (challenges, the
  // purse's card randoms); none: a fresh start of the system's random
  // source, so that no two cards and no two runs draw the same.
  CardCore(CardFile masterFile, CardSecrets secrets, std::optional<uint32_t> randomSeed = std::nullopt);
  CardCore(const CardCore&) = delete;  // the command table refers to this object
  CardCore& operator=(const CardCore&) = delete;

  // Adds or replaces the command of `ins`, accepted with the given classes
  // (others answer 6E 00).
  void SetCommand(uint8_t ins, std::vector<uint8_t> classes, Handler handler);
  std::vector<uint8_t> Exchange(std::span<const uint8_t> command);
  // Cold reset: MF selected, no PIN or authentication, no challenge.
  void Reset();
  // Fresh random bytes from the card's own source: every GET CHALLENGE
  // and every purse transaction draws its own.
  void DrawRandom(std::span<uint8_t> bytes);
  // Contact mode: a command with data that answers data answers 61 xx
  // instead, and GET RESPONSE fetches the data.
  void SetAnswersByGetResponse(bool enabled) { answersByGetResponse_ = enabled; }

  CardFile& MasterFile() { return masterFile_; }
  const CardFile& MasterFile() const { return masterFile_; }
  CardFile& CurrentDf() { return *currentDf_; }
  CardFile* CurrentEf() { return currentEf_; }
  bool PinVerified() const { return pinVerified_; }
  int PinTriesLeft() const { return pinTriesLeft_; }
  bool ExternallyAuthenticated() const { return externallyAuthenticated_; }
  const CardSecrets& Secrets() const { return secrets_; }

 private:
  struct Command {
    std::vector<uint8_t> classes;
    Handler handler;
  };

  ResponseApdu Run(const CommandApdu& apdu);
  std::optional<ResponseApdu> CheckMac(CommandApdu& apdu);
  bool Allows(Access access) const;
  void EnterDf(CardFile& df);
  // The EF that P1 (short file identifier when bit 8 is set) names for a
  // binary command, with the offset; or the status word that refuses it.
  std::optional<uint16_t> FindBinaryFile(const CommandApdu& apdu, CardFile*& file, size_t& offset);
  std::optional<uint16_t> FindRecordFile(uint8_t p2, CardFile*& file);

  ResponseApdu Select(const CommandApdu& apdu);
  ResponseApdu ReadBinary(const CommandApdu& apdu);
  ResponseApdu UpdateBinary(const CommandApdu& apdu);
  ResponseApdu ReadRecord(const CommandApdu& apdu);
  ResponseApdu UpdateRecord(const CommandApdu& apdu);
  ResponseApdu AppendRecord(const CommandApdu& apdu);
  ResponseApdu Verify(const CommandApdu& apdu);
  ResponseApdu GetChallenge(const CommandApdu& apdu);
  ResponseApdu ExternalAuthenticate(const CommandApdu& apdu);
  ResponseApdu InternalAuthenticate(const CommandApdu& apdu);
  ResponseApdu GetResponse(const CommandApdu& apdu);

  CardFile masterFile_;
  CardSecrets secrets_;
  std::map<uint8_t, Command> commands_;
  std::mt19937 random_;
  CardFile* currentDf_ = nullptr;
  CardFile* currentEf_ = nullptr;
  bool pinVerified_ = false;
  int pinTriesLeft_ = 0;
  bool externallyAuthenticated_ = false;
  std::optional<DesBlock> challenge_;  // zero-padded to a block
  std::vector<uint8_t> waitingResponse_;
  bool answersByGetResponse_ = false;
};

}  // namespace vqsim
