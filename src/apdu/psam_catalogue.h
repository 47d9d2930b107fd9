#pragma once
// The commands the host sends to the PSAM in the reader over channel 0x61,
// one row each, by the rules of the user-card catalogue. No PSAM command
// applies the card-kind rule.

#include "apdu/catalogue_rows.h"
#include "protocol/commands.h"

namespace vqhw::apdu::psam {

using namespace rows;

constexpr CatalogueCommand Sam(std::array<int16_t, 4> header, Body body, Reply reply) {
  return {command::kPsamApdu, Row(header, body, reply)};
}

//                                                             CLA   INS   P1    P2     body            reply
inline constexpr CatalogueCommand kSelectFile           = Sam({0x00, 0xA4, kArg, kArg}, LcThenLe(0x00), V);
inline constexpr CatalogueCommand kReadBinary           = Sam({0x00, 0xB0, kArg, kArg}, P3(0x00),       V);
inline constexpr CatalogueCommand kUpdateBinary         = Sam({kArg, 0xD6, kArg, kArg}, kLc,            S);
inline constexpr CatalogueCommand kReadRecord           = Sam({0x00, 0xB2, kArg, kArg}, P3(0x00),       V);
inline constexpr CatalogueCommand kUpdateRecord         = Sam({kArg, 0xDC, kArg, kArg}, kLc,            S);
inline constexpr CatalogueCommand kExternalAuthenticate = Sam({0x00, 0x82, 0x00, 0x00}, Data(8),        S);
inline constexpr CatalogueCommand kGetResponse          = Sam({0x00, 0xC0, 0x00, 0x00}, kP3Le,          kFLe);
inline constexpr CatalogueCommand kGetChallenge         = Sam({0x00, 0x84, 0x00, 0x00}, P3(0x04),       F(4));
inline constexpr CatalogueCommand kInternalAuthenticate = Sam({0x00, 0x88, 0x00, kArg}, kLcLe,          V);
inline constexpr CatalogueCommand kVerify               = Sam({0x00, 0x20, 0x00, 0x00}, kLc,            S);

inline constexpr CatalogueCommand kApplicationUnblock   = Sam({0x84, 0x18, 0x00, 0x00}, kLc,            S);
inline constexpr CatalogueCommand kApplicationBlock     = Sam({0x84, 0x1E, 0x00, kArg}, Data(4),        S);
inline constexpr CatalogueCommand kReloadPin            = Sam({0x80, 0x5E, 0x00, 0x00}, kLc,            S);
inline constexpr CatalogueCommand kChangePin            = Sam({0x80, 0x5E, 0x01, 0x00}, kLc,            S);

inline constexpr CatalogueCommand kIns0E                = Sam({0x80, 0x0E, 0x00, 0x00}, P3(0x00),       S);
inline constexpr CatalogueCommand kIns1A                = Sam({0x80, 0x1A, kArg, kArg}, kLc,            S);
inline constexpr CatalogueCommand kIns1C                = Sam({0x80, 0x1C, kArg, kArg}, LcThenLe(0x08), V);
// Any lc goes out whole with its Le: the purchase initialisation is 36 bytes.
inline constexpr CatalogueCommand kIns70                = Sam({0x80, 0x70, 0x00, 0x00}, LcThenLe(0x08), V);
inline constexpr CatalogueCommand kIns72                = Sam({0x80, 0x72, 0x00, 0x00}, Data(4),        S);
inline constexpr CatalogueCommand kInsD4                = Sam({0x84, 0xD4, kArg, 0x00}, kLc,            S);
inline constexpr CatalogueCommand kInsE0                = Sam({0x80, 0xE0, kArg, kArg}, kLc,            S);
inline constexpr CatalogueCommand kInsFA                = Sam({0x80, 0xFA, kArg, 0x00}, kLc,            V);

}  // namespace vqhw::apdu::psam
