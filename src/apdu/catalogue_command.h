#pragma once
// One catalogue command on a channel: build the APDU from its layout, run
// the transaction with the status-byte rule, split the answer. Every named
// operation of both catalogues is this call with its own layout.

#include <cstdint>

#include "apdu/apdu_layout.h"
#include "protocol/reader_device.h"

namespace vqhw::apdu {

// Refused arguments and failed transactions leave every output unwritten.
ReaderStatus RunCatalogueCommand(ReaderDevice& device, uint8_t channel, const ApduLayout& layout,
                                 const ApduArguments& arguments, const ReplyOutputs& outputs);

}  // namespace vqhw::apdu
