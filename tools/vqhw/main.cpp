// vqhw: ask the reader what lane engineers ask it, on a real reader or on
// the built-in virtual one.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "VqhwLib.h"
#include "vqhw/reader_session.h"
#include "vqhw/text.h"

namespace {

using vqtool::GbkToUtf8;

std::string LastStatusMessage() {
  char text[64] = {};
  getvqicerror(text);
  return GbkToUtf8(text);
}

// One clear line for a failure: the code and its message.
int Fail(const char* what, int32_t result) {
  std::fprintf(stderr, "%s failed: %d (%s)\n", what, static_cast<int>(result),
               LastStatusMessage().c_str());
  return result < 0 ? -result : result;
}

int RunInfo(const vqtool::ReaderSession&) {
  char text[128] = {};
  getreaderinfo(text);
  std::printf("%s\n", GbkToUtf8(text).c_str());
  return 0;
}

// The main job: open the reader, show what it is, and close it again,
// with every frame on the line shown as it passes.
int RunDemo(vqtool::ReaderSession& session) {
  std::printf("open_reader(%d)\n", session.Port());
  int32_t opened = open_reader(session.Port(), 0);
  if (opened != 0) return Fail("open_reader", opened);
  std::printf("  -> %d (%s)\n", static_cast<int>(opened), LastStatusMessage().c_str());
  char info[128] = {};
  getreaderinfo(info);
  std::printf("getreaderinfo\n  -> %s\n", GbkToUtf8(info).c_str());
  std::printf("close_reader\n");
  int32_t closed = close_reader();
  if (closed != 0) return Fail("close_reader", closed);
  std::printf("  -> %d\n", static_cast<int>(closed));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vqhw: talk to the lane's contactless card reader"};
  vqtool::SessionOptions options;
  app.add_option("--port", options.port, "serial port number, 1 = COM1")->check(CLI::Range(1, 99));
  app.add_option("--device", options.device, "device path of the port (sets VQHW_COM<port>)");
  app.add_flag("--sim", options.simulate, "use the built-in virtual reader");
  app.require_subcommand(1);
  auto* info = app.add_subcommand("info", "reader information line (probes COM1 and COM2 when closed)");
  auto* demo = app.add_subcommand("demo", "open the reader, show it and close it, with the frames on the line");
  CLI11_PARSE(app, argc, argv);

  options.traceFrames = demo->parsed();
  vqtool::ReaderSession session(options);
  if (info->parsed()) return RunInfo(session);
  return RunDemo(session);
}
