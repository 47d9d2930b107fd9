// A lane program's signal handler that calls the library: refused at once
// while the thread it interrupted is inside a call, which then completes;
// served as usual between calls.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "integration/reader_fixture.h"

namespace vqtest {
namespace {

// What the handler calls and what it got; set before the signal is sent.
decltype(&::RF_reset_h) fieldResetFromHandler = nullptr;
decltype(&::getvqicerror) messageFromHandler = nullptr;
std::atomic<int> handlerRuns{0};
std::atomic<int32_t> fieldResetResult{99};
std::atomic<int32_t> messageResult{99};
char messageText[VQHW_MESSAGE_SIZE];

void CallTheLibrary(int) {
  fieldResetResult = fieldResetFromHandler();
  messageResult = messageFromHandler(messageText);
  ++handlerRuns;
}

// A handler that waits for itself would hold the test for ever: past its
// bound the process ends with a message instead.
class Watchdog {
 public:
  explicit Watchdog(milliseconds bound)
      : thread_([this, bound] {
          const auto start = Clock::now();
          while (!done_) {
            if (Since(start) > bound) {
              std::fputs("the call from the signal handler never returned\n", stderr);
              std::_Exit(1);
            }
            std::this_thread::sleep_for(milliseconds(10));
          }
        }) {}
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class SignalHandlerTest : public ReaderTest {
 protected:
  SignalHandlerTest() {
    fieldResetFromHandler = lib.RF_reset_h;
    messageFromHandler = lib.getvqicerror;
    handlerRuns = 0;
    struct sigaction action {};
    action.sa_handler = CallTheLibrary;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGUSR1, &action, &previous_);
  }
  ~SignalHandlerTest() override { ::sigaction(SIGUSR1, &previous_, nullptr); }

  struct sigaction previous_ {};
};

TEST_F(SignalHandlerTest, ACallInsideACallOfTheSameThreadIsRefusedAndTheInterruptedCallCompletes) {
  OpenReader();
  com1->reader.Faults().StaySilent(1);  // the PSAM reset waits 800 ms for its first answer
  const Watchdog watchdog(milliseconds(15000));
  const pthread_t caller = ::pthread_self();
  std::thread interrupter([caller] {
    std::this_thread::sleep_for(milliseconds(300));
    ::pthread_kill(caller, SIGUSR1);
  });
  EXPECT_EQ(lib.SAM_reset_h(), 0) << "the second attempt is answered";
  interrupter.join();
  ASSERT_EQ(handlerRuns, 1);
  EXPECT_EQ(fieldResetResult, VQHW_BUSY_IN_THIS_THREAD);
  EXPECT_EQ(messageResult, VQHW_BUSY_IN_THIS_THREAD);
  EXPECT_EQ(std::string(messageText), Gbk("动态库正忙：本线程的调用尚未结束"));
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x73, 0x73})) << "the handler's call sent nothing";
  EXPECT_EQ(lib.LastStatusText(), Gbk("成功执行")) << "the last status is the interrupted call's";

  // Between calls the handler's calls are served.
  ::pthread_kill(::pthread_self(), SIGUSR1);
  ASSERT_EQ(handlerRuns, 2);
  EXPECT_EQ(fieldResetResult, 0);
  EXPECT_EQ(messageResult, 0);
  EXPECT_EQ(std::string(messageText), Gbk("成功执行"));
  EXPECT_EQ(com1->Commands().back(), 0x72);
}

}  // namespace
}  // namespace vqtest
