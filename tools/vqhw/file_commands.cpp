// file read | file write: a card file, the 48 data bytes of one sector,
// read or written by the reader in one command with a key it holds.

#include <cstdio>
#include <memory>
#include <string>

#include "VqhwLib.h"
#include "shared/command_line.h"
#include "vqhw/commands.h"
#include "vqhw/mifare_card.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

constexpr int kFileSize = 48;

struct FileOptions {
  int file = 0;
  int slot = -1;  // the key slot; none: the file's own sector
  int offset = 0;
  int length = -1;   // read: none means to the end of the file
  std::string data;  // write
  KeyOptions keys;

  int KeySlot() const { return slot < 0 ? file : slot; }
};

// The identifier texts the exports take: the file number is the second byte
// of the file identifier, the key slot the high half of the key identifier.
std::string FileId(int file) {
  char text[8];
  std::snprintf(text, sizeof text, "00%02X", file);
  return text;
}

std::string KeyId(int slot) {
  char text[8];
  std::snprintf(text, sizeof text, "%X0", slot);
  return text;
}

// Opens the reader, activates the card and loads the first key into the
// slot (loadkey also authenticates that sector); then runs `operation`.
template <typename Operation>
int WithFileKey(Context& context, const FileOptions& options, Operation operation) {
  std::string problem;
  const auto keys = options.keys.Parse(problem);
  if (!keys) return context.out.UsageError(problem);
  OpenReader reader(context.port);
  if (!reader.Opened().Ok()) return Report(context.out, reader.Opened());
  MifareCard card(*keys, false);
  if (const CallResult activated = card.Activate(); !activated.Ok()) return Report(context.out, activated);
  if (const CallResult loaded = card.Authenticate(options.KeySlot()); !loaded.Ok()) {
    return Report(context.out, loaded);
  }
  const CallResult done = operation();
  if (!done.Ok()) return Report(context.out, done);
  return 0;
}

int RunFileRead(Context& context, const FileOptions& options) {
  const int length = options.length < 0 ? kFileSize - options.offset : options.length;
  if (length < 0 || options.offset + length > kFileSize) {
    return context.out.UsageError("a file holds 48 bytes: offset + length must not pass them");
  }
  std::array<uint8_t, 256> data{};
  return WithFileKey(context, options, [&] {
    const CallResult read = Checked("readfile " + std::to_string(options.file),
                                    readfile(FileId(options.file).c_str(), KeyId(options.KeySlot()).c_str(),
                                             options.offset, length, data.data()));
    if (read.Ok()) {
      const std::span<const uint8_t> bytes(data.data(), static_cast<size_t>(length));
      context.out.Field("file", "file", options.file);
      context.out.Field("offset", "offset", options.offset);
      context.out.Field("data", "data", CompactHex(bytes), Hex(bytes) + "  |" + Printable(bytes) + "|");
    }
    return read;
  });
}

int RunFileWrite(Context& context, const FileOptions& options) {
  const auto bytes = vqshared::DecodeHex(options.data);
  if (!bytes || bytes->empty()) return context.out.UsageError("the data is bytes of hex, e.g. 0011AABB");
  if (options.offset + static_cast<int>(bytes->size()) > kFileSize) {
    return context.out.UsageError("a file holds 48 bytes: offset + data must not pass them");
  }
  return WithFileKey(context, options, [&] {
    const CallResult written =
        Checked("writefile " + std::to_string(options.file),
                writefile(FileId(options.file).c_str(), KeyId(options.KeySlot()).c_str(), options.offset,
                          static_cast<int32_t>(bytes->size()), bytes->data()));
    if (written.Ok()) {
      context.out.Field("file", "file", options.file);
      context.out.Field("offset", "offset", options.offset);
      context.out.Field("written", "written", CompactHex(*bytes), Hex(*bytes));
    }
    return written;
  });
}

void AddCommonOptions(CLI::App& command, FileOptions& options) {
  command.add_option("file", options.file, "file number, 0 to 15 (the data blocks of that sector)")
      ->required()
      ->check(vqshared::WholeNumber(0, 15, "a file number"));
  command.add_option("--slot", options.slot, "key slot the reader uses, 0 to 15; default: the file's number")
      ->check(vqshared::WholeNumber(0, 15, "a key slot"));
  command.add_option("--offset", options.offset, "first byte, 0 to 47")
      ->check(vqshared::WholeNumber(0, 47, "an offset"));
  options.keys.AddTo(command, false);  // the reader's file commands use key A
}

}  // namespace

void AddFileCommands(CLI::App& parent, CommandRegistry& registry) {
  CLI::App* file = parent.add_subcommand("file", "card files: the 48 data bytes of a sector");
  file->require_subcommand(1);

  auto read = std::make_shared<FileOptions>();
  CLI::App* readCommand = registry.Add(*file, "read", "read a card file",
                                       [read](Context& context) { return RunFileRead(context, *read); });
  AddCommonOptions(*readCommand, *read);
  readCommand->add_option("--length", read->length, "bytes to read; default: to the end")
      ->check(vqshared::WholeNumber(0, 48, "a length"));

  auto write = std::make_shared<FileOptions>();
  CLI::App* writeCommand = registry.Add(*file, "write", "write bytes into a card file",
                                        [write](Context& context) { return RunFileWrite(context, *write); });
  AddCommonOptions(*writeCommand, *write);
  writeCommand->add_option("data", write->data, "the bytes, in hex")->required();
}

}  // namespace vqtool
