#pragma once
// The groups of cases, one function each; see the .cpp files.

#include "setup.h"

namespace wintest {

void ExportsAreExactlyTheListAndRemoveTheirArguments(const Setup& setup);

void OpenInformationExchangeAndClose(const Setup& setup);
void ProbeFindsTheReaderOnComOne(const Setup& setup);
void IdleWorkerUsesNoProcessor(const Setup& setup);
void SilentReaderTimesOutAfterThreeTries(const Setup& setup);
void LateReaderIsReachedByARetry(const Setup& setup);
void ReaderWithoutPsamIsRefused(const Setup& setup);
void MissingPortsCannotBeOpened(const Setup& setup);
void EventWaitIsAsExpected(const Setup& setup);

void UnloadWithTheReaderOpen(const Setup& setup);
void ReopenedWorkersEndAndUnloadFollowsClose(const Setup& setup);
void ProcessExitWithTheReaderOpen(const Setup& setup);
void UnloadWithANetworkPortOpen(const Setup& setup);
void TraceFileIsTheUsersAndClosedWhenTheLibraryIsFreed(const Setup& setup);

void CodecsWorkUnderWindows(const Setup& setup);

void MifareCardIsActivatedAndItsKeysGuardTheBlocks(const Setup& setup);
void NewSectorKeysOpenTheSectorAndTheOldOnesDoNot(const Setup& setup);
void CardFilesAreReadAndWritten(const Setup& setup);
void CardKindRuleAndReaderControl(const Setup& setup);
void CpuCardAndPsamAnswerThroughTheApduExports(const Setup& setup);

// The child process of ProcessExitWithTheReaderOpen: opens the reader on
// `port` and returns from main with it open. 0 when it was opened.
int ExitWithOpenReader(int port);

}  // namespace wintest
