#pragma once
// The reader as the exports reach it: the link to it, the card-kind rule,
// and the operations of each family, each holding the link (and the rule
// where it applies it). One lives in LibraryState.

#include "apdu/apdu_channels.h"
#include "mifare/mifare_one.h"
#include "protocol/card_kind_rule.h"
#include "protocol/reader_control.h"
#include "protocol/reader_link.h"

namespace vqhw {

struct ReaderDevice {
  ReaderLink link;
  CardKindRule cardKind;
  ReaderControl control{link};
  MifareOne mifare{link, cardKind};
  ApduChannels apdu{link, cardKind};
};

}  // namespace vqhw
