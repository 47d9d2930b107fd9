// Runs the Windows test cases. Usage:
//   vqhw_wine_tests [--reader N] [--no-psam-reader N] [--silent-reader N]
//                   [--retry-reader N] [--missing-port N] [--lane-reader N]
//                   [--cpu-card-reader N] [--network-reader N] [--event-wait yes|no]
//                   [--only CASE[,CASE...]] [--isolate yes]
// Cases whose ports were not given are skipped. Exit code 0 when all passed.
// With --isolate yes each case runs in a process of its own (see RunIsolated).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness.h"
#include "setup.h"
#include "test_cases.h"

namespace {

using wintest::Setup;

struct TestCase {
  const char* name;
  void (*run)(const Setup&);
  int Setup::*port;  // the port it needs; null: none
};

const TestCase kCases[] = {
    {"exports_are_exactly_the_list_and_remove_their_arguments",
     wintest::ExportsAreExactlyTheListAndRemoveTheirArguments, nullptr},
    {"codecs_work_under_windows", wintest::CodecsWorkUnderWindows, nullptr},
    {"event_wait_is_as_expected", wintest::EventWaitIsAsExpected, &Setup::reader},
    {"open_information_exchange_and_close", wintest::OpenInformationExchangeAndClose, &Setup::reader},
    {"probe_finds_the_reader_on_com1", wintest::ProbeFindsTheReaderOnComOne, &Setup::reader},
    {"idle_worker_uses_no_processor", wintest::IdleWorkerUsesNoProcessor, &Setup::reader},
    {"silent_reader_times_out_after_three_tries", wintest::SilentReaderTimesOutAfterThreeTries,
     &Setup::silentReader},
    {"late_reader_is_reached_by_a_retry", wintest::LateReaderIsReachedByARetry, &Setup::retryReader},
    {"reader_without_psam_is_refused", wintest::ReaderWithoutPsamIsRefused, &Setup::noPsamReader},
    {"missing_ports_cannot_be_opened", wintest::MissingPortsCannotBeOpened,
     &Setup::missingPort},
    {"unload_with_the_reader_open", wintest::UnloadWithTheReaderOpen, &Setup::reader},
    {"reopened_workers_end_and_unload_follows_close",
     wintest::ReopenedWorkersEndAndUnloadFollowsClose, &Setup::reader},
    {"process_exit_with_the_reader_open", wintest::ProcessExitWithTheReaderOpen, &Setup::reader},
    {"unload_with_a_network_port_open", wintest::UnloadWithANetworkPortOpen, &Setup::networkReader},
    {"trace_file_is_the_users_and_closed_when_the_library_is_freed",
     wintest::TraceFileIsTheUsersAndClosedWhenTheLibraryIsFreed, &Setup::missingPort},
    {"mifare_card_is_activated_and_its_keys_guard_the_blocks",
     wintest::MifareCardIsActivatedAndItsKeysGuardTheBlocks, &Setup::laneReader},
    {"new_sector_keys_open_the_sector_and_the_old_ones_do_not",
     wintest::NewSectorKeysOpenTheSectorAndTheOldOnesDoNot, &Setup::laneReader},
    {"card_files_are_read_and_written", wintest::CardFilesAreReadAndWritten, &Setup::laneReader},
    {"card_kind_rule_and_reader_control", wintest::CardKindRuleAndReaderControl, &Setup::laneReader},
    {"cpu_card_and_psam_answer_through_the_apdu_exports",
     wintest::CpuCardAndPsamAnswerThroughTheApduExports, &Setup::cpuCardReader},
};

bool ParseArguments(int argc, char** argv, Setup& setup, std::string& only, bool& isolate) {
  const struct {
    const char* option;
    int Setup::*port;
  } kPortOptions[] = {{"--reader", &Setup::reader},
                      {"--no-psam-reader", &Setup::noPsamReader},
                      {"--silent-reader", &Setup::silentReader},
                      {"--retry-reader", &Setup::retryReader},
                      {"--missing-port", &Setup::missingPort},
                      {"--lane-reader", &Setup::laneReader},
                      {"--cpu-card-reader", &Setup::cpuCardReader},
                      {"--network-reader", &Setup::networkReader}};
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    bool known = false;
    for (const auto& p : kPortOptions) {
      if (option == p.option) {
        setup.*p.port = std::atoi(value);
        known = true;
      }
    }
    if (option == "--event-wait") {
      setup.eventWait = value;
    } else if (option == "--only") {
      only = value;
    } else if (option == "--isolate") {
      isolate = std::string(value) == "yes";
    } else if (!known) {
      return false;
    }
  }
  return argc % 2 == 1;
}

// `name` is one of the comma-separated names in `list`.
bool Listed(const std::string& list, const char* name) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (list.compare(start, end - start, name) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs one case in a child process with the same arguments. Under Wine, a
// DLL with a TLS section that is loaded after a port event wait has ended
// can crash the loader (the helper threads of Wine's event wait end without
// leaving its thread list), so with the event wait each case gets a fresh
// process and loads the library once.
bool RunIsolated(const char* name, int argc, char** argv) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string command = "\"";
  command.append(self).append("\"");
  for (int i = 1; i < argc; ++i) command.append(" ").append(argv[i]);
  command.append(" --only ").append(name).append(" --isolate no");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &child)) {
    return false;
  }
  DWORD exitCode = 1;
  if (WaitForSingleObject(child.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return exitCode == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--exit-with-open-reader") == 0) {
    return wintest::ExitWithOpenReader(std::atoi(argv[2]));
  }
  Setup setup;
  std::string only;
  bool isolate = false;
  if (!ParseArguments(argc, argv, setup, only, isolate)) {
    std::fprintf(stderr, "usage: see wine_tests_main.cpp\n");
    return 2;
  }
  int ran = 0;
  for (const TestCase& test : kCases) {
    if (!only.empty() && !Listed(only, test.name)) continue;
    if (test.port != nullptr && setup.*test.port == 0) {
      std::printf("[ SKIP ] %s (no port given)\n", test.name);
      continue;
    }
    if (test.run == wintest::EventWaitIsAsExpected && setup.eventWait.empty()) continue;
    ++ran;
    if (isolate) {
      if (!RunIsolated(test.name, argc, argv)) wintest::Fail(__FILE__, __LINE__, std::string(test.name) + " failed");
      continue;
    }
    std::printf("[ RUN  ] %s\n", test.name);
    std::fflush(stdout);
    const int failuresBefore = wintest::FailureCount();
    const double start = wintest::NowMs();
    test.run(setup);
    std::printf("[ %s ] %s (%.0f ms)\n", wintest::FailureCount() == failuresBefore ? " OK " : "FAIL",
                test.name, wintest::NowMs() - start);
    std::fflush(stdout);
  }
  std::printf("%d cases run, %d checks failed\n", ran, wintest::FailureCount());
  return wintest::FailureCount() == 0 && ran > 0 ? 0 : 1;
}
