// restore: a saved card written back, sector by sector. The data blocks
// always (block 0, the manufacturer's, never); a trailer only with --force,
// only when its access bits are sound and both its keys are known, and
// after the sector's data blocks, since it may change the keys. Each sector
// is written with the first key that the card lets write it: those of -k,
// then the keys the image knows. A sector that cannot be written is marked
// and the restore goes on; the exit code is that of the first failure.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vqhw/access_text.h"
#include "vqhw/card_image.h"
#include "vqhw/commands.h"
#include "vqhw/mifare_card.h"
#include "vqhw/text.h"
#include "vqhw/tool_error.h"

namespace vqtool {

namespace {

struct RestoreOptions {
  std::string file;
  bool force = false;
  KeyOptions keys;
};

struct Candidate {
  bool keyB;
  Key key;
};

// The keys to try on a sector: those given with -k, then the one of the
// image that read it, then its other known one (a trailer in the image
// may hold new keys, which the card learns only when it is written).
std::vector<Candidate> CandidatesFor(const SectorImage& sector, const std::vector<Key>& given, bool givenAreB,
                                     bool keysGiven) {
  std::vector<Candidate> candidates;
  if (keysGiven) {
    for (const Key& key : given) candidates.push_back({givenAreB, key});
  }
  const bool firstB = sector.keyType == 'B';
  for (const bool b : {firstB, !firstB}) {
    if (const std::optional<Key>& key = b ? sector.keyB : sector.keyA) candidates.push_back({b, *key});
  }
  return candidates;
}

// Why the trailer stays as it is on the card; empty when it may be written.
std::string TrailerKept(const CardImage& image, int sector, bool force) {
  if (!force) return "kept (add --force to write trailers)";
  const SectorImage& saved = image.sectors[sector];
  if (!saved.blocks[3]) return "kept: not in the image";
  const BlockData trailer = image.Trailer(sector);
  if (!DescribeAccessBits(std::span<const uint8_t, 4>(trailer.data() + 6, 4)).consistent) {
    return "kept: access bits whose inverses disagree would block the sector for good";
  }
  if (!saved.keyA || !saved.keyB) return std::string("kept: key ") + (saved.keyA ? "B" : "A") + " is not in the image";
  return {};
}

struct SectorOutcome {
  std::vector<int> written;
  std::string key = "-";
  std::string trailer;
  CallResult failure;  // the last failure, when a block was not written
};

SectorOutcome RestoreSector(const CardImage& image, int sector, const RestoreOptions& options,
                            const std::vector<Key>& keys) {
  SectorOutcome outcome;
  std::vector<std::pair<int, BlockData>> pending;
  for (int b = 0; b < 3; ++b) {
    const int block = 4 * sector + b;
    if (block != 0 && image.sectors[sector].blocks[b]) pending.emplace_back(block, *image.sectors[sector].blocks[b]);
  }
  outcome.trailer = TrailerKept(image, sector, options.force);
  if (outcome.trailer.empty()) pending.emplace_back(TrailerOf(sector), image.Trailer(sector));
  const auto candidates = CandidatesFor(image.sectors[sector], keys, options.keys.keyB, !options.keys.keys.empty());
  if (candidates.empty() && !pending.empty()) outcome.failure = {"restore", -1, -1, "no key for this sector", ""};
  for (const Candidate& candidate : candidates) {
    if (pending.empty()) break;
    MifareCard card({candidate.key}, candidate.keyB);
    if (CallResult activated = card.Activate(); !activated.Ok()) {
      outcome.failure = activated;
      break;
    }
    while (!pending.empty()) {
      const CallResult written = card.Write(pending.front().first, pending.front().second);
      if (!written.Ok()) {
        // A refused key says less than what an accepted key could not do.
        constexpr int32_t kKeyRefused = -103;
        if (outcome.failure.call.empty() || written.status != kKeyRefused) outcome.failure = written;
        break;
      }
      outcome.written.push_back(pending.front().first);
      outcome.key = std::string(1, card.KeyTypeLetter()) + " " + CompactHex(candidate.key);
      pending.erase(pending.begin());
    }
  }
  if (pending.empty()) outcome.failure = {};
  if (outcome.trailer.empty()) {
    outcome.trailer =
        !outcome.written.empty() && outcome.written.back() == TrailerOf(sector) ? "written" : "not written";
  }
  return outcome;
}

int RunRestore(Context& context, const RestoreOptions& options) {
  Output& out = context.out;
  std::string problem;
  const auto keys = options.keys.Parse(problem);
  if (!keys) return out.UsageError(problem);
  const CardImage image = LoadImage(options.file);
  OpenReader reader(context.port);
  if (!reader.Opened().Ok()) return Report(out, reader.Opened());
  MifareCard first({}, false);
  if (const CallResult activated = first.Activate(); !activated.Ok()) return Report(out, activated);
  out.Field("serial", "serial", CompactHex(std::span(first.Record()).first<4>()));
  if (!std::equal(image.serial.begin(), image.serial.end(), first.Record().begin())) {
    out.Field("image_serial", "image of", CompactHex(image.serial), CompactHex(image.serial) + " (another card)");
  }

  int firstFailure = 0;
  out.Text("sector  key              written   trailer");
  for (int sector = 0; sector < kSectors; ++sector) {
    const SectorOutcome outcome = RestoreSector(image, sector, options, *keys);
    nlohmann::json entry = {{"sector", sector}, {"written", outcome.written}, {"trailer", outcome.trailer}};
    std::string status = outcome.trailer;
    if (!outcome.failure.call.empty()) {
      if (firstFailure == 0) firstFailure = ExitCodeFor(outcome.failure.status);
      entry["error"] = {{"call", outcome.failure.call}, {"result", outcome.failure.result},
                        {"message", outcome.failure.message}};
      status = outcome.failure.call + ": " + std::to_string(outcome.failure.result) + " " + outcome.failure.message;
    }
    char row[64];
    std::snprintf(row, sizeof row, "%6d  %-15s  %zu blocks  ", sector, outcome.key.c_str(), outcome.written.size());
    out.Entry("sectors", entry, row + status);
  }
  return firstFailure;
}

}  // namespace

void AddRestoreCommand(CLI::App& parent, CommandRegistry& registry) {
  auto options = std::make_shared<RestoreOptions>();
  CLI::App* restore = registry.Add(parent, "restore", "write a card saved by dump -o back: its data blocks, "
                                                      "and its trailers with --force",
                                   [options](Context& context) { return RunRestore(context, *options); });
  restore->add_option("file", options->file, "the saved card: JSON, or the 1024 bytes of a binary dump")->required();
  restore->add_flag("--force", options->force,
                    "write the sector trailers too, where their access bits are sound and both keys known");
  options->keys.AddTo(*restore);
}

}  // namespace vqtool
