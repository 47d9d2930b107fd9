#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vqsim {

// Builds the reader's answer: FF, sequence, status, L, data, check byte.
// `announcedLength`, when given, replaces the true L in the length byte (a
// reader that lies about its length); the data sent stays what there is.
// `data` must not exceed 255 bytes.
std::vector<uint8_t> EncodeResponse(uint8_t sequence, uint8_t status, std::span<const uint8_t> data,
                                    std::optional<uint8_t> announcedLength = std::nullopt);

}  // namespace vqsim
