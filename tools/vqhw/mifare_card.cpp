#include "vqhw/mifare_card.h"

#include <algorithm>

#include "VqhwLib.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {
constexpr Key kFactoryKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
}  // namespace

void KeyOptions::AddTo(CLI::App& command, bool withKeyB) {
  command.add_option("-k,--key", keys, "key in hex (6 bytes); repeat to try several; default FFFFFFFFFFFF");
  if (withKeyB) command.add_flag("-b,--key-b", keyB, "authenticate with key B instead of key A");
}

std::optional<std::vector<Key>> KeyOptions::Parse(std::string& problem) const {
  if (keys.empty()) return std::vector<Key>{kFactoryKey};
  std::vector<Key> parsed;
  for (const std::string& text : keys) {
    const auto bytes = vqshared::DecodeHex(text);
    if (!bytes || bytes->size() != 6) {
      problem = "a key is 6 bytes of hex (12 digits), not \"" + text + "\"";
      return std::nullopt;
    }
    Key key{};
    std::ranges::copy(*bytes, key.begin());
    parsed.push_back(key);
  }
  return parsed;
}

MifareCard::MifareCard(std::vector<Key> keys, bool keyB) : keys_(std::move(keys)), keyB_(keyB) {}

CallResult MifareCard::Activate() {
  authenticated_.reset();
  return Checked("opencard", opencard(record_.data()));
}

CallResult MifareCard::Authenticate(int sector) {
  if (authenticated_ == sector) return {};
  authenticated_.reset();
  CallResult last;
  for (size_t i = 0; i < keys_.size(); ++i) {
    last = Checked("loadkey sector " + std::to_string(sector),
                   loadkey(keyB_ ? 1 : 0, sector, keys_[i].data()));
    if (last.Ok()) {
      authenticated_ = sector;
      keyUsed_ = i;
      return last;
    }
    // The card refused the key (or left): wake it for the next try.
    if (const CallResult again = Activate(); !again.Ok()) return again;
  }
  return last;
}

CallResult MifareCard::Read(int block, BlockData& data) {
  if (CallResult authenticated = Authenticate(SectorOf(block)); !authenticated.Ok()) return authenticated;
  return AfterBlockCall(Checked("readblock " + std::to_string(block), readblock(0, block, data.data())));
}

CallResult MifareCard::Write(int block, const BlockData& data) {
  if (CallResult authenticated = Authenticate(SectorOf(block)); !authenticated.Ok()) return authenticated;
  return AfterBlockCall(Checked("writeblock " + std::to_string(block), writeblock(0, block, data.data())));
}

CallResult MifareCard::AfterBlockCall(CallResult result) {
  // A card that refused a block stops answering until it is woken again.
  if (!result.Ok()) Activate();
  return result;
}

}  // namespace vqtool
