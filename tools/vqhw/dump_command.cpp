// dump: the whole MIFARE ONE card with the given keys. A sector or block
// that cannot be read is marked and the dump goes on; the exit code is that
// of the first failure. With -o the card is saved as a card image.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "shared/command_line.h"
#include "vqhw/card_image.h"
#include "vqhw/commands.h"
#include "vqhw/mifare_card.h"
#include "vqhw/text.h"
#include "vqhw/tool_error.h"

namespace vqtool {

namespace {

// A bar on stderr, drawn only when stderr is a terminal and the output is text.
class ProgressBar {
 public:
  explicit ProgressBar(bool wanted) : shown_(wanted && ::isatty(STDERR_FILENO) == 1) {}
  ~ProgressBar() { Clear(); }
  // Makes room for lines on stdout, which may share the terminal.
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r%*s\r", 40, "");
  }
  void Show(int done, int total) {
    if (!shown_) return;
    const int width = 30, filled = width * done / total;
    std::fprintf(stderr, "\r[%.*s%*s] %2d/%d", filled, "##############################", width - filled, "",
                 done, total);
    std::fflush(stderr);
  }

 private:
  bool shown_;
};

nlohmann::json FailureJson(const CallResult& failed) {
  return {{"call", failed.call}, {"result", failed.result}, {"message", failed.message}};
}

struct SectorSummary {
  int blocksRead = 0;
  std::string key = "-";
  std::string status = "ok";
};

struct DumpOptions {
  KeyOptions keys;
  std::string file;    // save the card here
  std::string format;  // "json" or "bin"; empty: from the file's name
};

int RunDump(Context& context, const DumpOptions& options) {
  Output& out = context.out;
  const KeyOptions& keyOptions = options.keys;
  std::string problem;
  const auto keys = keyOptions.Parse(problem);
  if (!keys) return out.UsageError(problem);
  if (!options.format.empty() && options.file.empty())
    return out.UsageError("--format names the form of -o FILE: add -o");
  OpenReader reader(context.port);
  if (!reader.Opened().Ok()) return Report(out, reader.Opened());
  MifareCard card(*keys, keyOptions.keyB);
  if (const CallResult activated = card.Activate(); !activated.Ok()) return Report(out, activated);
  out.Field("serial", "serial", CompactHex(std::span(card.Record()).first<4>()));
  CardImage image;
  std::copy_n(card.Record().begin(), 4, image.serial.begin());

  int firstFailure = 0;
  std::array<SectorSummary, kSectors> summary;
  ProgressBar progress(!out.Json());
  for (int sector = 0; sector < kSectors; ++sector) {
    progress.Show(sector, kSectors);
    nlohmann::json entry = {{"sector", sector}, {"blocks", nlohmann::json::array()}};
    std::vector<std::string> lines{"sector " + std::to_string(sector)};
    const CallResult authenticated = card.Authenticate(sector);
    if (authenticated.Ok()) {
      summary[sector].key = std::string(1, card.KeyTypeLetter()) + " " + CompactHex(card.KeyUsed());
      entry["key_type"] = std::string(1, card.KeyTypeLetter());
      entry["key"] = CompactHex(card.KeyUsed());
    }
    SectorImage& sectorImage = image.sectors[sector];
    for (int block = 4 * sector; block < 4 * sector + 4; ++block) {
      BlockData data{};
      const CallResult read = authenticated.Ok() ? card.Read(block, data) : authenticated;
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "  block %2d  ", block);
      const std::string label = buffer;
      if (read.Ok()) {
        sectorImage.blocks[block % 4] = data;
        ++summary[sector].blocksRead;
        entry["blocks"].push_back({{"block", block}, {"data", CompactHex(data)}});
        lines.push_back(label + Hex(data) + "  |" + Printable(data) + "|");
        continue;
      }
      if (firstFailure == 0) firstFailure = ExitCodeFor(read.status);
      if (sectorImage.readError.is_null()) sectorImage.readError = FailureJson(read);
      summary[sector].status = read.call + ": " + std::to_string(read.result) + " " + read.message;
      entry["blocks"].push_back({{"block", block}, {"error", FailureJson(read)}});
      lines.push_back(label + "?? unreadable: " + std::to_string(read.result) + " " + read.message);
    }
    if (authenticated.Ok()) LearnKeys(sectorImage, card.KeyTypeLetter(), card.KeyUsed());
    progress.Clear();
    for (const std::string& line : lines) out.Text(line);
    out.Collect("sectors", entry);
  }
  progress.Clear();
  if (!options.file.empty()) {
    const ImageFormat format = options.format.empty() ? FormatOfName(options.file)
                               : options.format == "bin" ? ImageFormat::kBinary
                                                         : ImageFormat::kJson;
    try {
      SaveImage(image, options.file, format);
      out.Field("saved", "saved", options.file);
    } catch (const ToolError& error) {
      return out.Error(error.what(), firstFailure != 0 ? firstFailure : error.ExitCode());
    }
  }

  out.Text("sector  key              blocks  status");
  for (int sector = 0; sector < kSectors; ++sector) {
    char row[64];
    std::snprintf(row, sizeof row, "%6d  %-15s  %d/4     ", sector, summary[sector].key.c_str(),
                  summary[sector].blocksRead);
    out.Text(row + summary[sector].status);
  }
  return firstFailure;
}

}  // namespace

void AddDumpCommands(CLI::App& parent, CommandRegistry& registry) {
  auto options = std::make_shared<DumpOptions>();
  CLI::App* dump = registry.Add(parent, "dump", "read the whole MIFARE ONE card, marking what cannot be read",
                                [options](Context& context) { return RunDump(context, *options); });
  options->keys.AddTo(*dump);
  dump->add_option("-o,--output", options->file,
                   "save the card into FILE: JSON with keys, blocks and access bits, or the 1024 bytes "
                   "of its blocks for a name ending in .bin or .mfd");
  dump->add_option("--format", options->format, "the form of -o FILE: json or bin")
      ->check(vqshared::OneOf({"json", "bin"}, "a dump form"));
  AddRestoreCommand(parent, registry);
}

}  // namespace vqtool
