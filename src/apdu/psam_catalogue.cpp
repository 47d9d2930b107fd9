// The commands the host sends to the PSAM in the reader, over channel 0x61.
// Same rules as the user-card catalogue; no card-kind rule.

#include "apdu/catalogue_command.h"
#include "apdu/catalogue_rows.h"

namespace vqhw {

namespace {

using namespace apdu::rows;

//                                           CLA   INS   P1    P2     body            reply
constexpr apdu::ApduLayout kSelectFile     = Row({0x00, 0xA4, kArg, kArg}, LcThenLe(0x00), V);
constexpr apdu::ApduLayout kReadBinary     = Row({0x00, 0xB0, kArg, kArg}, P3(0x00),       V);
constexpr apdu::ApduLayout kUpdateBinary   = Row({kArg, 0xD6, kArg, kArg}, kLc,            S);
constexpr apdu::ApduLayout kReadRecord     = Row({0x00, 0xB2, kArg, kArg}, P3(0x00),       V);
constexpr apdu::ApduLayout kUpdateRecord   = Row({kArg, 0xDC, kArg, kArg}, kLc,            S);
constexpr apdu::ApduLayout kExternalAuth   = Row({0x00, 0x82, 0x00, 0x00}, Data(8),        S);
constexpr apdu::ApduLayout kGetResponse    = Row({0x00, 0xC0, 0x00, 0x00}, kP3Le,          kFLe);
constexpr apdu::ApduLayout kGetChallenge   = Row({0x00, 0x84, 0x00, 0x00}, P3(0x04),       F(4));
constexpr apdu::ApduLayout kInternalAuth   = Row({0x00, 0x88, 0x00, kArg}, kLcLe,          V);
constexpr apdu::ApduLayout kVerify         = Row({0x00, 0x20, 0x00, 0x00}, kLc,            S);

constexpr apdu::ApduLayout kAppUnblock     = Row({0x84, 0x18, 0x00, 0x00}, kLc,            S);
constexpr apdu::ApduLayout kAppBlock       = Row({0x84, 0x1E, 0x00, kArg}, Data(4),        S);
constexpr apdu::ApduLayout kReloadPin      = Row({0x80, 0x5E, 0x00, 0x00}, kLc,            S);
constexpr apdu::ApduLayout kChangePin      = Row({0x80, 0x5E, 0x01, 0x00}, kLc,            S);

constexpr apdu::ApduLayout kIns0E          = Row({0x80, 0x0E, 0x00, 0x00}, P3(0x00),       S);
constexpr apdu::ApduLayout kIns1A          = Row({0x80, 0x1A, kArg, kArg}, kLc,            S);
constexpr apdu::ApduLayout kIns1C          = Row({0x80, 0x1C, kArg, kArg}, LcThenLe(0x08), V);
// Any lc goes out whole with its Le: the purchase initialisation is 36 bytes.
constexpr apdu::ApduLayout kIns70          = Row({0x80, 0x70, 0x00, 0x00}, LcThenLe(0x08), V);
constexpr apdu::ApduLayout kIns72          = Row({0x80, 0x72, 0x00, 0x00}, Data(4),        S);
constexpr apdu::ApduLayout kInsD4          = Row({0x84, 0xD4, kArg, 0x00}, kLc,            S);
constexpr apdu::ApduLayout kInsE0          = Row({0x80, 0xE0, kArg, kArg}, kLc,            S);
constexpr apdu::ApduLayout kInsFA          = Row({0x80, 0xFA, kArg, 0x00}, kLc,            V);

ReaderStatus Run(ReaderDevice& device, const apdu::ApduLayout& layout,
                 const apdu::ApduArguments& arguments, const apdu::ReplyOutputs& outputs) {
  return apdu::RunCatalogueCommand(device, ReaderDevice::kPsamChannel, layout, arguments, outputs);
}

}  // namespace

ReaderStatus ReaderDevice::SamSelectFile(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                         uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kSelectFile, {.p1 = p1, .p2 = p2, .lc = lc, .data = data},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamReadBinary(int32_t p1, int32_t p2, uint8_t* out, int32_t* outLength,
                                         uint8_t* sw) {
  return Run(*this, kReadBinary, {.p1 = p1, .p2 = p2}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamUpdateBinary(int32_t cla, int32_t p1, int32_t p2, int32_t lc,
                                           const uint8_t* data, uint8_t* sw) {
  return Run(*this, kUpdateBinary, {.cla = cla, .p1 = p1, .p2 = p2, .lc = lc, .data = data},
             {.sw = sw});
}

ReaderStatus ReaderDevice::SamReadRecord(int32_t p1, int32_t p2, uint8_t* out, int32_t* outLength,
                                         uint8_t* sw) {
  return Run(*this, kReadRecord, {.p1 = p1, .p2 = p2}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamUpdateRecord(int32_t cla, int32_t p1, int32_t p2, int32_t lc,
                                           const uint8_t* data, uint8_t* sw) {
  return Run(*this, kUpdateRecord, {.cla = cla, .p1 = p1, .p2 = p2, .lc = lc, .data = data},
             {.sw = sw});
}

ReaderStatus ReaderDevice::SamExternalAuthenticate(const uint8_t* data, uint8_t* sw) {
  return Run(*this, kExternalAuth, {.data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamGetResponse(int32_t le, uint8_t* out, int32_t* outLength,
                                          uint8_t* sw) {
  return Run(*this, kGetResponse, {.le = le}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamGetChallenge(uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kGetChallenge, {}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamInternalAuthenticate(int32_t p2, int32_t lc, const uint8_t* data,
                                                   int32_t le, uint8_t* out, int32_t* outLength,
                                                   uint8_t* sw) {
  return Run(*this, kInternalAuth, {.p2 = p2, .lc = lc, .data = data, .le = le},
             {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamVerify(int32_t lc, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kVerify, {.lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamApplicationUnblock(int32_t lc, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kAppUnblock, {.lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamApplicationBlock(int32_t p2, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kAppBlock, {.p2 = p2, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamReloadPin(int32_t lc, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kReloadPin, {.lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamChangePin(int32_t lc, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kChangePin, {.lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamIns0E(uint8_t* sw) { return Run(*this, kIns0E, {}, {.sw = sw}); }

ReaderStatus ReaderDevice::SamIns1A(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* sw) {
  return Run(*this, kIns1A, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamIns1C(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* out, int32_t* outLength, uint8_t* sw) {
  return Run(*this, kIns1C, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamIns70(int32_t lc, const uint8_t* data, uint8_t* out,
                                    int32_t* outLength, uint8_t* sw) {
  return Run(*this, kIns70, {.lc = lc, .data = data}, {out, outLength, sw});
}

ReaderStatus ReaderDevice::SamIns72(const uint8_t* data, uint8_t* sw) {
  return Run(*this, kIns72, {.data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamInsD4(int32_t p1, int32_t lc, const uint8_t* data, uint8_t* sw) {
  return Run(*this, kInsD4, {.p1 = p1, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamInsE0(int32_t p1, int32_t p2, int32_t lc, const uint8_t* data,
                                    uint8_t* sw) {
  return Run(*this, kInsE0, {.p1 = p1, .p2 = p2, .lc = lc, .data = data}, {.sw = sw});
}

ReaderStatus ReaderDevice::SamInsFA(int32_t p1, int32_t lc, const uint8_t* data, uint8_t* out,
                                    int32_t* outLength, uint8_t* sw) {
  return Run(*this, kInsFA, {.p1 = p1, .lc = lc, .data = data}, {out, outLength, sw});
}

}  // namespace vqhw
