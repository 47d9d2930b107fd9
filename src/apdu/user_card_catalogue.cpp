// The commands the host sends to the CPU user card, over channel 0x60: the
// file and security commands, the purse and application-management
// commands, and the class-0x80 commands without a standard name. Each
// operation is its row of the table run by RunCatalogueCommand.

#include "apdu/catalogue_command.h"
#include "apdu/catalogue_rows.h"

namespace vqhw {

namespace {

using namespace apdu::rows;

//                                             CLA   INS   P1    P2     body              reply
constexpr apdu::ApduLayout kAppendRecord     = Row({kArg, 0xE2, 0x00, kArg}, kSecureMessaging, S);
constexpr apdu::ApduLayout kVerify           = Row({kArg, 0x20, 0x00, kArg}, kSecureMessaging, S);
constexpr apdu::ApduLayout kExternalAuth     = Row({0x00, 0x82, 0x00, kArg}, Data(8),          S);
constexpr apdu::ApduLayout kGetChallenge     = Row({0x00, 0x84, 0x00, 0x00}, kP3Le,            kFLe);
constexpr apdu::ApduLayout kInternalAuth     = Row({0x00, 0x88, kArg, kArg}, LcUpTo(8),        V);
constexpr apdu::ApduLayout kSelectFile       = Row({0x00, 0xA4, kArg, kArg}, kLcLe,            kFLe);
constexpr apdu::ApduLayout kReadBinary       = Row({kArg, 0xB0, kArg, kArg}, kMacOnClass04,    kFLe);
constexpr apdu::ApduLayout kReadRecord       = Row({kArg, 0xB2, kArg, kArg}, kMacOnClass04,    kFLe);
constexpr apdu::ApduLayout kGetResponse      = Row({0x00, 0xC0, 0x00, 0x00}, kP3Le,            kFLe);
constexpr apdu::ApduLayout kChangeReference  = Row({kArg, 0x24, 0x00, kArg}, Data(16),         S);
constexpr apdu::ApduLayout kSendCommand      = Row({kArg, kArg, kArg, kArg}, kLc,              V);

constexpr apdu::ApduLayout kIns0E            = Row({0x80, 0x0E, 0x00, 0x00}, P3(0x00),         S);
constexpr apdu::ApduLayout kIns14            = Row({0x80, 0x14, 0x00, 0x00}, Data(1),          S);
constexpr apdu::ApduLayout kIns2C            = Row({0x80, 0x2C, 0x00, kArg}, Data(16),         S);
constexpr apdu::ApduLayout kIns30            = Row({kArg, 0x30, 0x00, kArg}, kLc,              V);
constexpr apdu::ApduLayout kIns32            = Row({kArg, 0x32, 0x00, kArg}, kLc,              V);
constexpr apdu::ApduLayout kInsC2            = Row({0x80, 0xC2, kArg, kArg}, kLc,              V);
constexpr apdu::ApduLayout kInsC4            = Row({0x80, 0xC4, kArg, kArg}, kLc,              V);
constexpr apdu::ApduLayout kInsC6            = Row({0x80, 0xC6, kArg, kArg}, kLc,              V);
constexpr apdu::ApduLayout kInsC8            = Row({0x80, 0xC8, kArg, kArg}, kLc,              S);
constexpr apdu::ApduLayout kInsCC            = Row({0x80, 0xCC, kArg, kArg}, LcThenLe(0x20),   V);
constexpr apdu::ApduLayout kInsD4            = Row({kArg, 0xD4, kArg, kArg}, kLc,              S);
constexpr apdu::ApduLayout kInsE0            = Row({0x80, 0xE0, kArg, kArg}, kLc,              S);

constexpr apdu::ApduLayout kCardBlock        = Row({0x84, 0x16, 0x00, 0x00}, Data(4),          S);
constexpr apdu::ApduLayout kAppUnblock       = Row({0x84, 0x18, 0x00, 0x00}, Data(4),          S);
constexpr apdu::ApduLayout kAppBlock         = Row({0x84, 0x1E, 0x00, kArg}, Data(4),          S);
constexpr apdu::ApduLayout kPinUnblock       = Row({0x84, 0x24, 0x00, 0x01}, Data(12),         S);
constexpr apdu::ApduLayout kChangePin        = Row({0x80, 0x5E, kArg, 0x00}, kLc,              S);
constexpr apdu::ApduLayout kInitForLoad      = Row({0x80, 0x50, 0x00, kArg}, Data(11, 0x10),   V);
// The card answers a 4-byte TAC, so its status word is D[4] D[5].
constexpr apdu::ApduLayout kCreditForLoad    = Row({0x80, 0x52, 0x00, 0x00}, Data(11, 0x04),   V);
constexpr apdu::ApduLayout kInitForPurchase  = Row({0x80, 0x50, kArg, kArg}, Data(11, 0x0F),   F(15));
constexpr apdu::ApduLayout kDebitForPurchase = Row({0x80, 0x54, 0x01, 0x00}, Data(15, 0x08),   F(8));
constexpr apdu::ApduLayout kInitForUnload    = Row({0x80, 0x50, 0x05, kArg}, Data(11, 0x10),   F(16));
constexpr apdu::ApduLayout kDebitForUnload   = Row({0x80, 0x54, 0x03, 0x00}, Data(11, 0x04),   F(4));
constexpr apdu::ApduLayout kInitForUpdate    = Row({0x80, 0x50, 0x04, kArg}, Data(7, 0x13),    F(19));
constexpr apdu::ApduLayout kUpdateOverdraw   = Row({0x80, 0x58, 0x00, 0x00}, Data(14, 0x04),   F(4));
constexpr apdu::ApduLayout kTransactionProve = Row({0x80, 0x5A, 0x00, kArg}, DataLe(2),        kFLe);
constexpr apdu::ApduLayout kGetBalance       = Row({0x80, 0x5C, 0x00, kArg}, P3(0x04),         F(4));

ReaderStatus Run(ReaderDevice& device, const apdu::ApduLayout& layout,
                 const apdu::ApduArguments& arguments, const apdu::ReplyOutputs& outputs) {
  return apdu::RunCatalogueCommand(device, ReaderDevice::kUserCardChannel, layout, arguments,
                                   outputs);
}

}  // namespace

ReaderStatus ReaderDevice::ProAppendRecord(int32_t cla, int32_t p2, int32_t n, const uint8_t* data,
                                           uint8_t* sw) {
  return Run(*this, kAppendRecord, {.cla = cla, .p2 = p2, .lc = n, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProVerify(int32_t cla, int32_t p2, int32_t n, const uint8_t* data,
                                     uint8_t* sw) {
  return Run(*this, kVerify, {.cla = cla, .p2 = p2, .lc = n, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProExternalAuthenticate(int32_t p2, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kExternalAuth, {.p2 = p2, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProGetChallenge(int32_t le, uint8_t* out, int32_t* outLength,
                                           uint8_t* sw) {
  return Run(*this, kGetChallenge, {.le = le}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInternalAuthenticate(int32_t p1, int32_t p2, int32_t lc,
                                                   const uint8_t* data, uint8_t* out,
                                                   int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInternalAuth, {.p1 = p1, .p2 = p2, .lc = lc, .data = data},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProSelectFile(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                         int32_t le, uint8_t* out, int32_t* outLength,
                                         uint8_t* sw) {
  return Run(*this, kSelectFile, {.p1 = p1, .p2 = p2, .lc = lc, .data = data, .le = le},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProReadBinary(int32_t cla, int32_t p1, int32_t p2, int32_t lc,
                                         const uint8_t* data, int32_t le, uint8_t* out,
                                         int32_t* outLength, uint8_t* sw) {
  return Run(*this, kReadBinary,
             {.cla = cla, .p1 = p1, .p2 = p2, .lc = lc, .data = data, .le = le},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProReadRecord(int32_t cla, int32_t p1, int32_t p2, int32_t lc,
                                         const uint8_t* data, int32_t le, uint8_t* out,
                                         int32_t* outLength, uint8_t* sw) {
  return Run(*this, kReadRecord,
             {.cla = cla, .p1 = p1, .p2 = p2, .lc = lc, .data = data, .le = le},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProGetResponse(int32_t le, uint8_t* out, int32_t* outLength,
                                          uint8_t* sw) {
  return Run(*this, kGetResponse, {.le = le}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProChangeReferenceData(int32_t cla, int32_t p2, const uint8_t* data,
                                                  uint8_t* sw) {
  return Run(*this, kChangeReference, {.cla = cla, .p2 = p2, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProSendCommand(int32_t cla, int32_t ins, int32_t p1, int32_t p2,
                                          int32_t lc, const uint8_t* data, uint8_t* out,
                                          int32_t* outLength, uint8_t* sw) {
  return Run(*this, kSendCommand,
             {.cla = cla, .ins = ins, .p1 = p1, .p2 = p2, .lc = lc, .data = data},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProIns0E(uint8_t* sw) { return Run(*this, kIns0E, {}, {.sw = sw}); }

ReaderStatus ReaderDevice::ProIns14(int32_t value, uint8_t* sw) {
  const uint8_t byte = static_cast<uint8_t>(value);
  return Run(*this, kIns14, {.data = &byte}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProIns2C(int32_t p2, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kIns2C, {.p2 = p2, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProIns30(int32_t cla, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kIns30, {.cla = cla, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProIns32(int32_t cla, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kIns32, {.cla = cla, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInsC2(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInsC2, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInsC4(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInsC4, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInsC6(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInsC6, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInsC8(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* sw) {
  return Run(*this, kInsC8, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProInsCC(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInsCC, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInsD4(int32_t cla, int32_t p1, int32_t p2, int32_t lc,
                                    const uint8_t* data, uint8_t* sw) {
  return Run(*this, kInsD4, {.cla = cla, .p1 = p1, .p2 = p2, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProInsE0(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* sw) {
  return Run(*this, kInsE0, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProCardBlock(const uint8_t* mac, uint8_t* sw) {
  return Run(*this, kCardBlock, {.data = mac}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProApplicationUnblock(const uint8_t* mac, uint8_t* sw) {
  return Run(*this, kAppUnblock, {.data = mac}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProApplicationBlock(int32_t p2, const uint8_t* mac, uint8_t* sw) {
  return Run(*this, kAppBlock, {.p2 = p2, .data = mac}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProPinUnblock(const uint8_t* data, uint8_t* sw) {
  return Run(*this, kPinUnblock, {.data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProChangePin(int32_t p1, int32_t lc, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kChangePin, {.p1 = p1, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::ProInitializeForLoad(int32_t p2, const uint8_t* data, uint8_t* out,
                                                int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInitForLoad, {.p2 = p2, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProCreditForLoad(const uint8_t* data, uint8_t* out, int32_t* outLength,
                                            uint8_t* sw) {
  return Run(*this, kCreditForLoad, {.data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInitializeForPurchase(int32_t p1, int32_t p2, const uint8_t* data,
                                                    uint8_t* out, int32_t* outLength,
                                                    uint8_t* sw) {
  return Run(*this, kInitForPurchase, {.p1 = p1, .p2 = p2, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProDebitForPurchase(const uint8_t* data, uint8_t* out,
                                               int32_t* outLength, uint8_t* sw) {
  return Run(*this, kDebitForPurchase, {.data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInitializeForUnload(int32_t p2, const uint8_t* data, uint8_t* out,
                                                  int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInitForUnload, {.p2 = p2, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProDebitForUnload(const uint8_t* data, uint8_t* out, int32_t* outLength,
                                             uint8_t* sw) {
  return Run(*this, kDebitForUnload, {.data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProInitializeForUpdate(int32_t p2, const uint8_t* data, uint8_t* out,
                                                  int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInitForUpdate, {.p2 = p2, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProUpdateOverdrawLimit(const uint8_t* data, uint8_t* out,
                                                  int32_t* outLength, uint8_t* sw) {
  return Run(*this, kUpdateOverdraw, {.data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProGetTransactionProve(int32_t p2, const uint8_t* data, int32_t le,
                                                  uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kTransactionProve, {.p2 = p2, .data = data, .le = le}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::ProGetBalance(int32_t p2, uint8_t* out, int32_t* outLength,
                                         uint8_t* sw) {
  return Run(*this, kGetBalance, {.p2 = p2}, {out, outLength, sw});
}

}  // namespace vqhw
