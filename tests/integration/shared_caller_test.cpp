// One reader shared by two threads of a lane program, and by a child process
// that fork() made while the reader was open.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "integration/mifare_fixture.h"

// In the forked child the memory that the test's other threads (the
// virtual reader's) held on their stacks has no thread left to hold it:
// the leak check at the child's exit would report it, though the parent
// still owns all of it.
namespace {
bool inForkedChild = false;
}
extern "C" int __lsan_is_turned_off() { return inForkedChild ? 1 : 0; }

namespace vqtest {
namespace {

// The child's exit status, or -1 when it had not ended within `bound`
// (it is killed then).
int WaitForChild(pid_t child, milliseconds bound) {
  const auto start = Clock::now();
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (Since(start) > bound) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(MifareTest, TwoThreadsCallingAtOnceEachGetTheirOwnData) {
  OpenCard();
  ASSERT_EQ(lib.loadkey(0, 1, kFactoryKey.data()), 0);
  const ByteVector first(16, 0x11);
  const ByteVector second(16, 0x22);
  PokeBlock(4, first);
  PokeBlock(5, second);
  constexpr int kRounds = 300;
  int wrongBytes = 0;
  int wrongText = 0;
  std::thread bytesCaller([&] {
    for (int i = 0; i < kRounds; ++i) {
      uint8_t data[16] = {};
      if (lib.readblock(0, 4, data) != 0 || ByteVector(data, data + 16) != first) ++wrongBytes;
    }
  });
  std::thread textCaller([&] {
    for (int i = 0; i < kRounds; ++i) {
      char text[VQHW_BLOCK_TEXT_SIZE] = {};
      if (lib.readblock_h(0, 5, text) != 0 || std::string(text) != HexText(second)) ++wrongText;
    }
  });
  bytesCaller.join();
  textCaller.join();
  EXPECT_EQ(wrongBytes, 0);
  EXPECT_EQ(wrongText, 0);
  EXPECT_EQ(com1->reader.CountReceived(0x51), 2u * kRounds) << "one frame a call, none tried again";
}

// The child sees the reader closed; neither its calls nor its exit reach
// the parent's port or receive worker.
TEST_F(ReaderTest, AForkedChildThatClosesOrExitsLeavesTheParentsReaderWorking) {
  OpenReader();
  for (bool childCalls : {true, false}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      inForkedChild = true;
      int failures = 0;
      if (childCalls) {
        if (lib.close_reader() != -1) failures |= 1;  // already closed, -9
        if (lib.SAM_reset_h() != -1) failures |= 2;   // not open, -7
        if (lib.LastStatusText() != Gbk("串行口没打开")) failures |= 4;
        if (lib.open_reader(1, 0) != -1) failures |= 8;  // the parent holds the port
      }
      std::exit(failures);  // unloads the library as a process that ends does
    }
    EXPECT_EQ(WaitForChild(child, milliseconds(10000)), 0) << (childCalls ? "calls" : "exit only");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lib.SAM_reset_h(), 0) << i;
  }
  EXPECT_EQ(lib.close_reader(), 0);
}

}  // namespace
}  // namespace vqtest
