// card, read, write and trailer: the MIFARE ONE card in the field, block by block.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "shared/command_line.h"
#include "vqhw/access_text.h"
#include "vqhw/commands.h"
#include "vqhw/mifare_card.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

std::string CardKind(uint8_t sak) {
  if (sak == 0x08) return "MIFARE ONE (1K)";
  if (sak == 0x20) return "CPU card";
  return "other card";
}

// An open reader and an activated card, or the exit code of what failed.
class CardAtHand {
 public:
  CardAtHand(Context& context, std::vector<Key> keys, bool keyB)
      : reader_(context.port), card_(std::move(keys), keyB) {
    if (!reader_.Opened().Ok()) {
      failure_ = Report(context.out, reader_.Opened());
    } else if (const CallResult activated = card_.Activate(); !activated.Ok()) {
      failure_ = Report(context.out, activated);
    }
  }
  bool Ready() const { return failure_ == 0; }
  int Failure() const { return failure_; }
  MifareCard& Card() { return card_; }

 private:
  OpenReader reader_;
  MifareCard card_;
  int failure_ = 0;
};

int RunCard(Context& context) {
  CardAtHand hand(context, {}, false);
  if (!hand.Ready()) return hand.Failure();
  const auto& record = hand.Card().Record();
  context.out.Field("serial", "serial", CompactHex(std::span(record).first<4>()));
  context.out.Field("sak", "SAK", record[4], CompactHex(std::span(record).subspan<4>()));
  context.out.Field("kind", "kind", CardKind(record[4]));
  return 0;
}

struct ReadOptions {
  std::vector<int> blocks;
  KeyOptions keys;
};

nlohmann::json BlockEntry(int block, const BlockData& data) {
  return {{"block", block}, {"sector", SectorOf(block)}, {"data", CompactHex(data)}};
}

std::string BlockLine(int block, const BlockData& data) {
  char label[16];
  std::snprintf(label, sizeof label, "block %2d  ", block);
  return label + Hex(data) + "  |" + Printable(data) + "|";
}

int RunRead(Context& context, const ReadOptions& options) {
  std::string problem;
  const auto keys = options.keys.Parse(problem);
  if (!keys) return context.out.UsageError(problem);
  CardAtHand hand(context, *keys, options.keys.keyB);
  if (!hand.Ready()) return hand.Failure();
  for (int block : options.blocks) {
    BlockData data{};
    if (const CallResult read = hand.Card().Read(block, data); !read.Ok()) return Report(context.out, read);
    context.out.Entry("blocks", BlockEntry(block, data), BlockLine(block, data));
  }
  return 0;
}

struct WriteOptions {
  int block = 0;
  std::string data;
  bool force = false;
  KeyOptions keys;
};

// A trailer only when asked for, and never one that would block its sector.
std::string TrailerProblem(const WriteOptions& options, const BlockData& data) {
  if (!IsTrailer(options.block)) return {};
  const std::string which = "block " + std::to_string(options.block) + " is the trailer of sector " +
                            std::to_string(SectorOf(options.block));
  if (!options.force) return which + ": it holds the keys and access bits; add --force to write it";
  if (!DescribeAccessBits(std::span<const uint8_t, 4>(data.data() + 6, 4)).consistent) {
    return which + ": access bits whose inverses disagree would block the sector for good";
  }
  return {};
}

int RunWrite(Context& context, const WriteOptions& options) {
  const auto bytes = vqshared::DecodeHex(options.data);
  if (!bytes || bytes->size() != 16) return context.out.UsageError("a block is 16 bytes of hex (32 digits)");
  BlockData data{};
  std::ranges::copy(*bytes, data.begin());
  if (const std::string problem = TrailerProblem(options, data); !problem.empty()) {
    return context.out.UsageError(problem);
  }
  std::string problem;
  const auto keys = options.keys.Parse(problem);
  if (!keys) return context.out.UsageError(problem);
  CardAtHand hand(context, *keys, options.keys.keyB);
  if (!hand.Ready()) return hand.Failure();
  if (const CallResult written = hand.Card().Write(options.block, data); !written.Ok()) {
    return Report(context.out, written);
  }
  context.out.Entry("written", BlockEntry(options.block, data), "written " + BlockLine(options.block, data));
  return 0;
}

struct TrailerOptions {
  int sector = -1;   // none given
  std::string bits;  // decode these access bits without a card
  KeyOptions keys;
};

void ShowAccess(Output& out, std::span<const uint8_t, 4> bytes) {
  const AccessDescription access = DescribeAccessBits(bytes);
  if (out.Json()) out.Field("access", "access", access.json);
  for (const std::string& line : access.lines) out.Text(line);
}

int RunTrailer(Context& context, const TrailerOptions& options) {
  if (!options.bits.empty()) {
    const auto bytes = vqshared::DecodeHex(options.bits);
    if (!bytes || (bytes->size() != 3 && bytes->size() != 4)) {
      return context.out.UsageError("--bits takes trailer bytes 6 to 8 or 6 to 9 in hex, e.g. FF078069");
    }
    std::array<uint8_t, 4> access{};
    std::ranges::copy(*bytes, access.begin());
    ShowAccess(context.out, access);
    return 0;
  }
  if (options.sector < 0) return context.out.UsageError("trailer needs a sector number, or --bits");
  std::string problem;
  const auto keys = options.keys.Parse(problem);
  if (!keys) return context.out.UsageError(problem);
  CardAtHand hand(context, *keys, options.keys.keyB);
  if (!hand.Ready()) return hand.Failure();
  const int block = TrailerOf(options.sector);
  BlockData trailer{};
  if (const CallResult read = hand.Card().Read(block, trailer); !read.Ok()) return Report(context.out, read);
  const std::span<const uint8_t> bytes(trailer);
  context.out.Field("sector", "sector", options.sector);
  context.out.Field("block", "block", block);
  context.out.Field("key_a", "key A", CompactHex(bytes.first(6)), Hex(bytes.first(6)) + "  (cards read it as zeros)");
  context.out.Field("key_b", "key B", CompactHex(bytes.subspan(10)), Hex(bytes.subspan(10)));
  ShowAccess(context.out, std::span<const uint8_t, 4>(trailer.data() + 6, 4));
  return 0;
}

}  // namespace

void AddCardCommands(CLI::App& parent, CommandRegistry& registry) {
  registry.Add(parent, "card", "activate the card in the field: serial, SAK, card kind", RunCard);

  auto read = std::make_shared<ReadOptions>();
  CLI::App* readCommand = registry.Add(parent, "read", "read MIFARE ONE blocks",
                                       [read](Context& context) { return RunRead(context, *read); });
  readCommand->add_option("blocks", read->blocks, "block numbers, 0 to 63")
      ->required()
      ->check(vqshared::WholeNumber(0, 63, "a block number"));
  read->keys.AddTo(*readCommand);

  auto write = std::make_shared<WriteOptions>();
  CLI::App* writeCommand = registry.Add(parent, "write", "write one MIFARE ONE block",
                                        [write](Context& context) { return RunWrite(context, *write); });
  writeCommand->add_option("block", write->block, "block number, 0 to 63")
      ->required()
      ->check(vqshared::WholeNumber(0, 63, "a block number"));
  writeCommand->add_option("data", write->data, "16 bytes of hex")->required();
  writeCommand->add_flag("--force", write->force, "allow writing a sector trailer");
  write->keys.AddTo(*writeCommand);

  auto trailer = std::make_shared<TrailerOptions>();
  CLI::App* trailerCommand =
      registry.Add(parent, "trailer", "show a sector trailer and decode its access bits",
                   [trailer](Context& context) { return RunTrailer(context, *trailer); });
  trailerCommand->add_option("sector", trailer->sector, "sector number, 0 to 15")
      ->check(vqshared::WholeNumber(0, 15, "a sector number"));
  trailerCommand->add_option("--bits", trailer->bits, "decode these access bits (hex) without a card");
  trailer->keys.AddTo(*trailerCommand);
}

}  // namespace vqtool
