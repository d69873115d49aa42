// The run on a thread of its own, with the test's thread acting as the window: the hand-over of
// flags, counters and error boxes must hold across threads (built under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <semaphore>
#include <thread>

#include "job/run_commands.h"
#include "job_bench.h"

namespace kestrune {
namespace {

TEST(ProgrammingJobThread, AbortFromTheWindowStopsTheTransferAtTheNextBlock) {
  JobBench bench(DeviceWithOptionsInPlace());
  bench.WriteFirmware(100000);
  RunShared& shared = bench.host.Shared();
  std::binary_semaphore programming{0};
  std::binary_semaphore abortSent{0};
  bench.host.onEvent = [&](const JobEvent& event) {
    if (event.id == ID_RUN_PROGRESS && shared.m_progressPos == 50000 + 2048) {
      programming.release();
      abortSent.acquire();
    }
  };
  std::thread worker([&bench] { bench.Run(); });
  programming.acquire();
  shared.m_abortRequested = 1;
  abortSent.release();
  worker.join();

  bench.ExpectCleanEnd();
  EXPECT_EQ(bench.host.Statuses().back(), "... User-Abbruch ...");
  EXPECT_EQ(shared.m_runStatus, RunStatusAborted);
  EXPECT_EQ(shared.m_progressPos, 50000 + 2048);
  EXPECT_EQ(bench.Log(), "");
}

TEST(ProgrammingJobThread, ErrorBoxHoldsTheRunWithTheDeviceFreeUntilAcknowledged) {
  SimDeviceConfig config = DeviceWithOptionsInPlace();
  SimFault corrupt;
  corrupt.action = SimFaultAction::Corrupt;
  corrupt.address = 0x08000010;
  config.faults.push_back(corrupt);
  JobBench bench(config);
  bench.WriteFirmware(20000);
  std::binary_semaphore boxShown{0};
  std::binary_semaphore errorAck{0};
  bench.host.onError = [&] {
    boxShown.release();
    errorAck.acquire();
  };
  std::thread worker([&bench] { bench.Run(); });
  boxShown.acquire();
  EXPECT_EQ(bench.dfu.OpenConnections(), 0);
  EXPECT_EQ(bench.host.Shared().m_runStatus, RunStatusFailed);
  EXPECT_EQ(bench.host.CountCommands(ID_RUN_FINISHED), 0);
  errorAck.release();
  worker.join();

  bench.ExpectCleanEnd();
  EXPECT_EQ(
      bench.host.Errors(),
      std::vector<std::string>{"Beim Prüfen wurde bei Adresse 08000000h ein Fehler entdeckt !"});
  EXPECT_EQ(bench.Log(), "");
}

}  // namespace
}  // namespace kestrune
