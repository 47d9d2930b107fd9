// Opening and closing the reader through the exports of the shared library.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "integration/reader_fixture.h"

namespace vqtest {
namespace {

// Whether another program could take the port now.
bool PortIsFree(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

TEST_F(ReaderTest, FreshLibraryOpensWithProbeThenPsamResetAfterItsPauses) {
  auto start = Clock::now();
  EXPECT_EQ(lib.open_reader(1, 12345), 0);
  EXPECT_EQ(com1->Frames(), (std::vector<std::vector<uint8_t>>{Bytes("FF 00 70 03 AA AA AA 26"),
                                                               Bytes("FF 01 73 00 8D")}));
  auto frames = com1->reader.ReceivedFrames();
  EXPECT_TRUE(frames[0].checkByteOk && frames[1].checkByteOk);
  EXPECT_GE(frames[0].at - start, milliseconds(200)) << "100 ms before the port, 100 ms after";
  EXPECT_EQ(lib.LastStatusText(), Gbk("成功执行"));
  EXPECT_FALSE(PortIsFree(com1->Path())) << "the port is held exclusively";
}

TEST_F(ReaderTest, PortsThatCannotBeOpenedGiveMinusOneAndLastStatusMinus12) {
  for (int32_t port : {3, 0, -5, 100, INT32_MIN}) {
    com1->reader.ClearReceived();
    EXPECT_EQ(lib.open_reader(port, 0), -1) << port;
    EXPECT_EQ(lib.LastStatusText(), Gbk("串行口无法打开")) << port;
  }
  EXPECT_TRUE(com1->Frames().empty());
}

TEST_F(ReaderTest, ReaderWithoutPsamGivesMinus26AndReleasesThePort) {
  com1->reader.SetPsamPresent(false);
  EXPECT_EQ(lib.open_reader(1, 0), -26);
  EXPECT_EQ(lib.LastStatusText(), Gbk("发现机具，但机具中无PSAM卡"));
  EXPECT_TRUE(PortIsFree(com1->Path()));
  EXPECT_EQ(lib.SAM_reset_h(), -1) << "the reader is closed again";
}

TEST_F(ReaderTest, ProbeAnsweredWithAStatusByteMeansNoReader) {
  com1->reader.Faults().StatusFor(0x70, 0x01);
  EXPECT_EQ(lib.open_reader(1, 0), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("找不到机具"));
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x70})) << "a status byte is not retried";
  EXPECT_TRUE(PortIsFree(com1->Path()));
}

TEST_F(ReaderTest, OpeningTwiceClosesAndReopens) {
  EXPECT_EQ(lib.open_reader(1, 0), 0);
  EXPECT_EQ(lib.open_reader(1, 0), 0);
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x70, 0x73, 0x70, 0x73}));
  auto frames = com1->reader.ReceivedFrames();
  EXPECT_EQ(frames[2].sequence(), 2) << "the sequence number survives closing";
  EXPECT_EQ(lib.SAM_reset_h(), 0);
}

TEST_F(ReaderTest, ClosingTwiceReportsAlreadyClosed) {
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  EXPECT_EQ(lib.close_reader(), 0);
  EXPECT_TRUE(PortIsFree(com1->Path()));
  EXPECT_EQ(lib.close_reader(), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("串行口已经关闭"));
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x70, 0x73})) << "closing sends nothing";
}

TEST_F(ReaderTest, ASecondOpenerOfThePortIsRefused) {
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  LibraryUnderTest other;
  EXPECT_EQ(other.open_reader(1, 0), -1);
  EXPECT_EQ(other.LastStatusText(), Gbk("串行口无法打开"));
  EXPECT_EQ(lib.close_reader(), 0);
  EXPECT_EQ(other.open_reader(1, 0), 0) << "free again once closed";
}

TEST_F(ReaderTest, UnloadingClosesThePortWithoutSendingAnything) {
  ASSERT_EQ(lib.open_reader(1, 0), 0);
  lib.Unload();
  EXPECT_TRUE(PortIsFree(com1->Path()));
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x70, 0x73}));
}

TEST_F(ReaderTest, ExportsThatDoNothingReturnZeroOpenOrClosed) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(lib.changebaudrate(9600), 0);
    EXPECT_EQ(lib.selectadf(), 0);
    EXPECT_EQ(lib.enterdebug(1, 2), 0);
    EXPECT_EQ(lib.close_pro(), 0);
    if (round == 0) OpenReader();
  }
  EXPECT_TRUE(com1->Frames().empty());
  EXPECT_EQ(lib.SAM_reset_h(), 0) << "the line speed is still the one the reader answers on";
}

TEST_F(ReaderTest, StatusTextOfAFreshLibraryIsSuccessAndNullBuffersAreIgnored) {
  EXPECT_EQ(lib.LastStatusText(), Gbk("成功执行"));
  EXPECT_EQ(lib.getvqicerror(nullptr), 0);
  EXPECT_EQ(lib.getreaderinfo(nullptr), 0);
}

TEST_F(ReaderTest, IdleOpenReaderUsesNoProcessorTime) {
  OpenReader();
  auto before = ProcessCpuTime();
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_LT(ProcessCpuTime() - before, std::chrono::milliseconds(50));
}

TEST_F(ReaderTest, AReaderThatGoesAwayIsReportedAndNeverMakesTheWorkerSpin) {
  OpenReader();
  com1->Unplug();
  auto before = ProcessCpuTime();
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_LT(ProcessCpuTime() - before, std::chrono::milliseconds(100));
  auto start = Clock::now();
  int32_t result = lib.SAM_reset_h();
  EXPECT_EQ(result, -1);
  EXPECT_LT(Since(start), milliseconds(3000));
  EXPECT_EQ(lib.close_reader(), 0);
}

}  // namespace
}  // namespace vqtest
